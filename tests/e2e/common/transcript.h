// The driver's transcript vocabulary, shared by the driver (Windows) and the harness (host) so both
// print exactly the same words and escapes.
#pragma once

#include <cstdio>
#include <string>

namespace e2e {

// Message-box button ids as Windows numbers them (IDOK .. IDCONTINUE), with the names the
// transcript and the --answers option use.
struct ButtonName {
  int id;
  const char* name;
};
inline constexpr ButtonName kButtonNames[] = {
    {1, "OK"},    {2, "Cancel"}, {3, "Abort"}, {4, "Retry"},     {5, "Ignore"},    {6, "Yes"},
    {7, "No"},    {8, "Close"},  {9, "Help"},  {10, "TryAgain"}, {11, "Continue"},
};

inline const char* ButtonNameOf(int id) {
  for (const ButtonName& b : kButtonNames) {
    if (b.id == id) return b.name;
  }
  return nullptr;
}

inline int ButtonIdOf(const std::string& name) {
  for (const ButtonName& b : kButtonNames) {
    if (name == b.name) return b.id;
  }
  return 0;
}

// The icon a box shows, as the hook DLL reports it through the box's window property. Zero in the
// property means the hook never answered.
enum IconKind { kIconNone = 1, kIconError, kIconQuestion, kIconWarning, kIconInformation, kIconOther };

inline const char* IconNameOf(int kind) {
  switch (kind) {
    case kIconNone: return "none";
    case kIconError: return "error";
    case kIconQuestion: return "question";
    case kIconWarning: return "warning";
    case kIconInformation: return "information";
    case kIconOther: return "other";
    default: return "unknown";
  }
}

// Shared between the driver and the hook DLL: the registered message that asks the hook to look at
// the box, and the window property it answers in.
inline constexpr char kIconQueryMessage[] = "QuillmarshE2E.IconQuery";
inline constexpr char kIconProperty[] = "QuillmarshE2E.Icon";

// A text in double quotes with backslash, quote, CR, LF and tab escaped C-style and every other
// byte outside printable ASCII as \xNN, so a transcript line is unambiguous.
inline std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace e2e
