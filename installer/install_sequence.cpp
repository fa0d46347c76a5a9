#include "install_sequence.h"

#include "component_file.h"
#include "default_browser.h"
#include "dialogs.h"
#include "dll_search.h"
#include "registration.h"
#include "zone_settings.h"

namespace {
constexpr int kExitSuccess = 0;
constexpr int kExitUnhandledFailure = 1;
}  // namespace

Status RunInstall() {
  if (!AskConsent()) return Status::Ok();
  ShowCloseBrowsersNotice();

  const std::optional<Text> folder = FindDownloadedControlsFolder();
  if (!folder) {
    ShowFolderMissingError();
    return Status::Ok();
  }
  const Result<ComponentPath> componentPath = ComponentPathIn(*folder);
  if (!componentPath) return componentPath.GetFailure();

  if (const Status copied = ExtractResourceToFile("LIBRARY_DATA", componentPath.Value()); !copied) {
    ShowCopyFailure(copied.GetFailure());
    return Status::Ok();
  }
  if (!RunRegistrationStage(componentPath.Value())) return Status::Ok();
  RunZoneSettingsStage();
  RunCompletionStage();
  return Status::Ok();
}

int RunInstaller() {
  RestrictDllSearchToSystemDirectory();
  const Status run = RunInstall();
  if (run) return kExitSuccess;
  ShowApplicationError(run.GetFailure());
  return kExitUnhandledFailure;
}
