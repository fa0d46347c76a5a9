// e2e-standin: shows the message boxes named on its command line, one after another, so that the
// driver can be tested against boxes of every style without the installer.
//
//   e2e-standin.exe [--load-library NAME] [--delay-ms N] [--hang] {<uType in hex> <caption> <text>}...
//
// In caption and text, \n stands for a line feed and \\ for a backslash. --load-library loads a
// library by its bare name with the default search order, as a program that does not restrict the
// search would (the planted-library rows' counter-check); --delay-ms waits before the first box;
// --hang never ends after the last one. The exit code is the last box's result; without boxes, 0,
// or 102 when the library did not load.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Unescape(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '\\' && p[1] == 'n') {
      out += '\n';
      ++p;
    } else if (p[0] == '\\' && p[1] == '\\') {
      out += '\\';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  bool hang = false;
  int result = 0;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    if (std::strcmp(argv[i], "--hang") == 0) {
      hang = true;
    } else if (std::strcmp(argv[i], "--delay-ms") == 0 && i + 1 < argc) {
      Sleep(static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10)));
    } else if (std::strcmp(argv[i], "--load-library") == 0 && i + 1 < argc) {
      // Kept loaded until the end, like a library a program uses.
      if (LoadLibraryA(argv[++i]) == nullptr) result = 102;
    } else {
      return 100;
    }
  }
  if ((argc - i) % 3 != 0) return 101;
  for (; i + 2 < argc; i += 3) {
    UINT type = static_cast<UINT>(std::strtoul(argv[i], nullptr, 16));
    result = MessageBoxA(nullptr, Unescape(argv[i + 2]).c_str(), Unescape(argv[i + 1]).c_str(), type);
  }
  // Long enough for any driver bound; the driver or the prefix's shutdown ends it.
  if (hang) Sleep(10 * 60 * 1000);
  return result;
}
