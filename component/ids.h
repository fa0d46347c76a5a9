// The names under which the control is registered and created.
#pragma once

#include <windows.h>

// The class id is written once, as the text the registry holds; the GUID that DllGetClassObject
// compares against is derived from that text at compile time, so the two cannot drift apart.
#define VORLANTIX_CLSID_TEXT "{286AEB9B-63D0-4D4A-8264-E3D9C77BE4A7}"
#define VORLANTIX_PROGID "Quillmarsh.Vorlantix.1"
#define VORLANTIX_VERSION_INDEPENDENT_PROGID "Quillmarsh.Vorlantix"
#define VORLANTIX_CLASS_NAME "Quillmarsh Vorlantix Control"

namespace vorlantix {

constexpr unsigned HexDigitValue(char digit) {
  return digit <= '9' ? unsigned(digit - '0') : unsigned((digit | 0x20) - 'a' + 10);
}

constexpr unsigned long HexNumberAt(const char* text, int at, int digits) {
  unsigned long value = 0;
  for (int i = 0; i < digits; ++i) value = value * 16 + HexDigitValue(text[at + i]);
  return value;
}

// Reads "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
constexpr GUID GuidFromText(const char* text) {
  GUID guid{};
  guid.Data1 = HexNumberAt(text, 1, 8);
  guid.Data2 = static_cast<unsigned short>(HexNumberAt(text, 10, 4));
  guid.Data3 = static_cast<unsigned short>(HexNumberAt(text, 15, 4));
  guid.Data4[0] = static_cast<unsigned char>(HexNumberAt(text, 20, 2));
  guid.Data4[1] = static_cast<unsigned char>(HexNumberAt(text, 22, 2));
  for (int i = 0; i < 6; ++i) {
    guid.Data4[2 + i] = static_cast<unsigned char>(HexNumberAt(text, 25 + 2 * i, 2));
  }
  return guid;
}

static_assert(sizeof(VORLANTIX_CLSID_TEXT) == 39 && VORLANTIX_CLSID_TEXT[0] == '{' &&
                  VORLANTIX_CLSID_TEXT[37] == '}',
              "the class id is written as {8-4-4-4-12} hex digits");

inline constexpr CLSID kVorlantixClsid = GuidFromText(VORLANTIX_CLSID_TEXT);

}  // namespace vorlantix
