// The installer's texts: every one the user sees, and the folder and file names it composes, lives
// in the string table and is loaded afresh each time it is needed.
#pragma once

#include <windows.h>

#include "bounded_text.h"

enum class TextId : UINT {
  CaptionPrefix = 65328,
  FolderMissing = 65329,
  CopyFailureHead = 65330,
  RegistrationFailure = 65331,
  QuestionCaption = 65332,
  Consent = 65333,
  CloseBrowsersNotice = 65334,
  ZoneSettingsQuestion = 65335,
  BrowserWarning = 65336,
  BrowserWarningCaption = 65337,
  SuccessText = 65338,
  SuccessCaption = 65339,
  HomePage = 65340,
  ErrorCaption = 65341,
  ComponentFileName = 65357,
  WindowsDownloadFolder = 65358,
  WinntDownloadFolder = 65359,
};

// A string-table entry as LoadStringA gives it into a 1024-character buffer.
using Text = BoundedText<1023>;

// An entry that is missing loads as the empty text.
Text LoadText(TextId id);
