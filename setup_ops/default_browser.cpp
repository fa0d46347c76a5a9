#include "default_browser.h"

#include <shellapi.h>
#include <windows.h>

#include "dialogs.h"
#include "texts.h"
#include "win_handles.h"

namespace {

constexpr char kHtmlOpenCommandKey[] = "htmlfile\\shell\\open\\command";

void UpperCaseAscii(RegistryText &text) {
  for (std::size_t i = 0; i < text.Length(); ++i)
    if (text.Buffer()[i] >= 'a' && text.Buffer()[i] <= 'z') text.Buffer()[i] -= 'a' - 'A';
}

void OpenHomePage() {
  const Text homePage = LoadText(TextId::HomePage);
  if (homePage.Empty()) return;
  // A page the shell fails to open goes unnoticed: the installation itself succeeded.
  ShellExecuteA(nullptr, "open", homePage.CStr(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

RegistryText ReadDefaultBrowserCommand() {
  RegistryText command;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlOpenCommandKey, 0, KEY_READ, key.Put()) !=
      ERROR_SUCCESS)
    return command;
  // A value that is not text, or unreadable, is a command that cannot be read.
  if (!ReadText(key.Get(), nullptr, command)) command.Clear();
  return command;
}

bool IsIEDefaultBrowser() {
  RegistryText command = ReadDefaultBrowserCommand();
  UpperCaseAscii(command);
  return command.View().find("IEXPLORE.EXE") != std::string_view::npos;
}

void RunCompletionStage() {
  if (IsIEDefaultBrowser()) {
    ShowSuccess();
    OpenHomePage();
    return;
  }
  ShowBrowserWarning();
  ShowSuccess();
}
