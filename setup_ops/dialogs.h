// The dialogs of the install run. All are system message boxes without an owner window.
#pragma once

#include <string_view>

#include "failure.h"

// The consent question; false when the user chose Cancel.
bool AskConsent();
void ShowCloseBrowsersNotice();
bool AskToChangeZoneSettings();
void ShowBrowserWarning();
void ShowSuccess();

void ShowErrorBox(std::string_view text, std::string_view caption);
void ShowFolderMissingError();
// The copy-failure text ends in the failure's own message.
void ShowCopyFailure(const Failure &failure);
void ShowRegistrationFailure();

// The last guard: a failure nothing else handled, reported before the program ends with code 1.
void ShowApplicationError(const Failure &failure);
