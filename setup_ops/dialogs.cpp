#include "dialogs.h"

#include <windows.h>

#include "texts.h"

namespace {

constexpr UINT kQuestionStyle = MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND;
constexpr UINT kConsentStyle = MB_OKCANCEL | kQuestionStyle;
constexpr UINT kZoneSettingsStyle = MB_YESNO | kQuestionStyle;
constexpr UINT kNoticeStyle = MB_OK | MB_SETFOREGROUND;
constexpr UINT kErrorStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kWarningStyle = MB_OK | MB_ICONWARNING;
constexpr UINT kSuccessStyle = MB_OK | MB_ICONINFORMATION;
static_assert(kConsentStyle == 0x00010121 && kZoneSettingsStyle == 0x00010124);
static_assert(kNoticeStyle == 0x00010000 && kErrorStyle == 0x00010010);
static_assert(kWarningStyle == 0x00000030 && kSuccessStyle == 0x00000040);

// Two string-table entries side by side, as every composed caption and message is.
using TwoTexts = BoundedText<2 * Text::kCapacity>;
// The longest error text: a string-table entry, a blank line and a failure's message.
using ErrorText = BoundedText<Text::kCapacity + 2 + FailureMessage::kCapacity>;

TwoTexts PrefixedCaption(TextId rest) {
  return TwoTexts::Truncated(LoadText(TextId::CaptionPrefix).View(), LoadText(rest).View());
}

template <typename Caption>
int Show(const Text &text, const Caption &caption, UINT style) {
  return MessageBoxA(nullptr, text.CStr(), caption.CStr(), style);
}

}  // namespace

bool AskConsent() {
  return Show(LoadText(TextId::Consent), PrefixedCaption(TextId::QuestionCaption),
              kConsentStyle) != IDCANCEL;
}

void ShowCloseBrowsersNotice() {
  Show(LoadText(TextId::CloseBrowsersNotice), LoadText(TextId::CaptionPrefix), kNoticeStyle);
}

bool AskToChangeZoneSettings() {
  return Show(LoadText(TextId::ZoneSettingsQuestion), PrefixedCaption(TextId::QuestionCaption),
              kZoneSettingsStyle) == IDYES;
}

void ShowBrowserWarning() {
  Show(LoadText(TextId::BrowserWarning), PrefixedCaption(TextId::BrowserWarningCaption),
       kWarningStyle);
}

void ShowSuccess() {
  Show(LoadText(TextId::SuccessText), LoadText(TextId::SuccessCaption), kSuccessStyle);
}

void ShowErrorBox(std::string_view text, std::string_view caption) {
  // MessageBoxA wants terminated strings; views are copied into bounded texts first.
  const auto terminatedText = ErrorText::Truncated(text);
  const auto terminatedCaption = TwoTexts::Truncated(caption);
  MessageBoxA(nullptr, terminatedText.CStr(), terminatedCaption.CStr(), kErrorStyle);
}

void ShowFolderMissingError() {
  ShowErrorBox(LoadText(TextId::FolderMissing).View(), PrefixedCaption(TextId::ErrorCaption).View());
}

void ShowCopyFailure(const Failure &failure) {
  auto text = ErrorText::Truncated(LoadText(TextId::CopyFailureHead).View(), "\n\n");
  text.AppendTruncated(failure.message.View());
  ShowErrorBox(text.View(), PrefixedCaption(TextId::ErrorCaption).View());
}

void ShowRegistrationFailure() {
  ShowErrorBox(LoadText(TextId::RegistrationFailure).View(),
               PrefixedCaption(TextId::ErrorCaption).View());
}

void ShowApplicationError(const Failure &failure) {
  const auto text = FailureMessage::Truncated("Unhandled failure: ", failure.message.View());
  MessageBoxA(nullptr, text.CStr(), "Application Error", MB_OK | MB_ICONERROR);
}
