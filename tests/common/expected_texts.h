// The installer's texts as the user must see them, written out here independently of the resource
// script, so that a slip in either shows up as a difference.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace expected {

inline const char kCaptionPrefix[] = "Quillmarsh Installer - ";
inline const char kFolderMissing[] =
    "The \"Downloaded Program Files\" folder was not found. \n\nInstallation aborted";
inline const char kCopyFailureHead[] = "Failed to copy resource data to disk.\n\nInstallation aborted";
inline const char kRegistrationFailure[] = "Failed to register Library.\n\nInstallation aborted";
inline const char kQuestionCaption[] = "Install?";
inline const char kConsent[] =
    "This Program will Install the Quillmarsh web component.\n\nThis software enables you to play "
    "games and receive automatic software updates at Quillmarsh.\n\nContinue?";
inline const char kCloseBrowsersNotice[] =
    "Make sure all browser windows are closed\n\npress OK to continue.";
inline const char kZoneSettingsQuestion[] =
    "The software you are installing will not run unless you change your Internet Explorer "
    "settings.\nWould you like to change these settings Now?\n\nSelect \"Yes\" to:\nenable \"Run "
    "ActiveX controls and plugins\"\nand enable \"Script ActiveX controls marked safed for "
    "scripting\"";
inline const char kBrowserWarning[] =
    "Internet Explorer is not your default browser.\n\nThis software may not work with other "
    "browsers.\n\nIf you experience problems, try using Internet explorer.";
inline const char kBrowserWarningCaption[] = "Default Browser Not Internet Explorer";
inline const char kSuccessText[] = "Installation successful.";
inline const char kSuccessCaption[] = "Installation successful.";
inline const char kDefaultHomePage[] = "https://www.quillmarsh.example/";
inline const char kErrorCaption[] = "Error";
inline const char kComponentFileName[] = "Vorlantix.ocx";
inline const char kWindowsFolder[] = "C:\\Windows\\Downloaded Program Files\\";
inline const char kWinntFolder[] = "C:\\winnt\\Downloaded Program Files\\";

// Every string-table entry, by identifier, with the default home page.
inline std::vector<std::pair<unsigned, std::string>> StringTable() {
  return {{65328, kCaptionPrefix},        {65329, kFolderMissing},
          {65330, kCopyFailureHead},      {65331, kRegistrationFailure},
          {65332, kQuestionCaption},      {65333, kConsent},
          {65334, kCloseBrowsersNotice},  {65335, kZoneSettingsQuestion},
          {65336, kBrowserWarning},       {65337, kBrowserWarningCaption},
          {65338, kSuccessText},          {65339, kSuccessCaption},
          {65340, kDefaultHomePage},      {65341, kErrorCaption},
          {65357, kComponentFileName},    {65358, kWindowsFolder},
          {65359, kWinntFolder}};
}

// The dialogs: caption, text and message-box style.
struct Dialog {
  std::string caption;
  std::string text;
  unsigned type;
  bool operator==(const Dialog &other) const {
    return caption == other.caption && text == other.text && type == other.type;
  }
};

inline std::ostream &operator<<(std::ostream &out, const Dialog &dialog) {
  return out << "{caption \"" << dialog.caption << "\", text \"" << dialog.text << "\", type 0x"
             << std::hex << dialog.type << std::dec << "}";
}

inline const Dialog kConsentDialog{std::string(kCaptionPrefix) + kQuestionCaption, kConsent,
                                   0x00010121};
inline const Dialog kNoticeDialog{kCaptionPrefix, kCloseBrowsersNotice, 0x00010000};
inline const Dialog kFolderMissingDialog{std::string(kCaptionPrefix) + kErrorCaption,
                                         kFolderMissing, 0x00010010};
inline Dialog CopyFailureDialog(const std::string &message) {
  return {std::string(kCaptionPrefix) + kErrorCaption,
          std::string(kCopyFailureHead) + "\n\n" + message, 0x00010010};
}
inline const Dialog kRegistrationFailureDialog{std::string(kCaptionPrefix) + kErrorCaption,
                                               kRegistrationFailure, 0x00010010};
inline const Dialog kZoneSettingsDialog{std::string(kCaptionPrefix) + kQuestionCaption,
                                        kZoneSettingsQuestion, 0x00010124};
inline const Dialog kBrowserWarningDialog{std::string(kCaptionPrefix) + kBrowserWarningCaption,
                                          kBrowserWarning, 0x00000030};
inline const Dialog kSuccessDialog{kSuccessCaption, kSuccessText, 0x00000040};

}  // namespace expected
