// e2e-driver: starts a program, reads every message box it shows, answers each with the button
// named on the command line, and prints a transcript of the boxes and the program's exit code.
// The program starts in its own folder, as when a user opens it from there.
//
//   e2e-driver.exe [--answers OK,Cancel] [--dialog-timeout-ms N] [--exit-timeout-ms N]
//                  -- program.exe [arguments...]
//
// Every wait is bounded. On a failure (a box that does not come, one box more than answers, an
// answer naming a button the box lacks, a program that does not end) the driver prints the
// transcript so far and the reason, and terminates the program.
//
// Exit status: 0 when the run went as the answers said, 1 on a failure, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shown_box.h"
#include "transcript.h"
#include "win_handle.h"

namespace {

constexpr DWORD kPollMs = 10;
// How long the box's thread may take to answer the icon question; it is sitting in its modal loop.
constexpr DWORD kHookReplyMs = 5000;
// How long a terminated program may take to go away.
constexpr DWORD kTerminateWaitMs = 5000;
constexpr UINT kTerminatedExitCode = 0xE2E;
constexpr int kTextStaticId = 0xFFFF;

struct Options {
  std::vector<std::string> answers;
  DWORD dialogTimeoutMs = 15000;
  DWORD exitTimeoutMs = 30000;
  std::string commandLine;
  std::string folder;  // the program's folder; empty for a bare name
};

// Quotes one argument so that the C runtime's argument parser hands it back unchanged.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t i = 0;
  for (;;) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out += arg[i++];
  }
  out += '"';
  return out;
}

bool ParseNumber(const char* text, DWORD* out) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0') return false;
  *out = value;
  return true;
}

// "OK,Cancel,Yes": button names as the transcript spells them.
bool ParseAnswers(const std::string& list, std::vector<std::string>* answers) {
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(start, comma - start);
    if (e2e::ButtonIdOf(name) == 0) {
      std::fprintf(stderr, "e2e-driver: unknown button name %s\n", e2e::Quote(name).c_str());
      return false;
    }
    answers->push_back(name);
    start = comma + 1;
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "--answers") {
      if (!ParseAnswers(value, &o->answers)) return false;
    } else if (arg == "--dialog-timeout-ms") {
      if (!ParseNumber(value, &o->dialogTimeoutMs)) return false;
    } else if (arg == "--exit-timeout-ms") {
      if (!ParseNumber(value, &o->exitTimeoutMs)) return false;
    } else {
      return false;
    }
  }
  if (i >= argc) return false;
  std::string program = argv[i];
  size_t slash = program.find_last_of("\\/");
  if (slash != std::string::npos) o->folder = program.substr(0, slash == 2 && program[1] == ':' ? 3 : slash);
  for (int first = i; i < argc; ++i) {
    if (i > first) o->commandLine += ' ';
    o->commandLine += QuoteArgument(argv[i]);
  }
  return true;
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  int got = GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

struct Box {
  std::string caption;
  std::string text;
  std::string buttons;
  std::string defaultButton;
  std::string icon;
};

class Driver {
 public:
  Driver(const Options& options, HOOKPROC hookProc, HMODULE hookModule)
      : options_(options), hookProc_(hookProc), hookModule_(hookModule) {}

  // Runs the program to its end or to the first failure; prints the transcript as it goes.
  bool Run() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> commandLine(options_.commandLine.begin(), options_.commandLine.end());
    commandLine.push_back('\0');
    const char* folder = options_.folder.empty() ? nullptr : options_.folder.c_str();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &info)) {
      return Fail("cannot start " + e2e::Quote(options_.commandLine) + ": error " + Number(GetLastError()));
    }
    process_.reset(info.hProcess);
    e2e::KernelHandle thread(info.hThread);
    pid_ = info.dwProcessId;

    for (size_t answered = 0;; ++answered) {
      bool expectingBox = answered < options_.answers.size();
      DWORD timeout = expectingBox ? options_.dialogTimeoutMs : options_.exitTimeoutMs;
      HWND box = nullptr;
      if (!WaitForBoxOrExit(timeout, &box)) {
        return Fail(expectingBox ? "dialog " + Number(answered + 1) + " did not come within " + Number(timeout) + " ms"
                                 : "the program did not end within " + Number(timeout) + " ms");
      }
      if (box == nullptr) {  // the program ended
        if (expectingBox) {
          return Fail("the program ended with " + Number(options_.answers.size() - answered) + " answer(s) unused");
        }
        return Finish();
      }
      Box seen = Read(box);
      Print(answered + 1, seen);
      if (!expectingBox) return Fail("dialog " + Number(answered + 1) + " came with no answer left");
      const std::string& answer = options_.answers[answered];
      int id = e2e::ButtonIdOf(answer);
      HWND button = GetDlgItem(box, id);
      if (button == nullptr || (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) == 0) {
        return Fail("answer " + answer + " names a button dialog " + Number(answered + 1) + " does not have");
      }
      std::printf("  answer: %s\n", answer.c_str());
      std::fflush(stdout);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
      if (!WaitForClose(box)) {
        return Fail("dialog " + Number(answered + 1) + " did not close within " + Number(options_.dialogTimeoutMs) +
                    " ms of the answer");
      }
    }
  }

 private:
  static std::string Number(unsigned long long n) {
    char text[24];
    std::snprintf(text, sizeof text, "%llu", n);
    return text;
  }

  // True with *box set when a box is shown, true with *box null when the program ended, false when
  // neither happened in time.
  bool WaitForBoxOrExit(DWORD timeoutMs, HWND* box) {
    DWORD start = GetTickCount();
    for (;;) {
      *box = e2e::ShownBoxOf(pid_);
      if (*box != nullptr) return true;
      if (WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) return true;
      if (GetTickCount() - start >= timeoutMs) return false;
    }
  }

  bool WaitForClose(HWND box) {
    DWORD start = GetTickCount();
    while (IsWindow(box) && (GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) != 0) {
      if (WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) return true;
      if (GetTickCount() - start >= options_.dialogTimeoutMs) return false;
    }
    return true;
  }

  Box Read(HWND box) {
    Box seen;
    // The icon question goes first: its answer comes from the box's thread, so once it is back
    // the box has finished setting itself up and sits in its modal loop.
    seen.icon = e2e::IconNameOf(QueryIcon(box));
    seen.caption = WindowText(box);
    HWND text = GetDlgItem(box, kTextStaticId);
    seen.text = text != nullptr ? WindowText(text) : std::string();
    for (const e2e::ButtonName& b : e2e::kButtonNames) {
      HWND button = GetDlgItem(box, b.id);
      if (button == nullptr) continue;
      LONG style = GetWindowLongA(button, GWL_STYLE);
      if ((style & WS_VISIBLE) == 0) continue;
      if (!seen.buttons.empty()) seen.buttons += ' ';
      seen.buttons += b.name;
      if ((style & 0x0F) == BS_DEFPUSHBUTTON) {
        if (!seen.defaultButton.empty()) seen.defaultButton += ' ';
        seen.defaultButton += b.name;
      }
    }
    if (seen.defaultButton.empty()) seen.defaultButton = "none";
    return seen;
  }

  // Icon handles mean nothing outside their process, so the hook DLL compares them inside the
  // box's process and leaves its answer in a window property.
  int QueryIcon(HWND box) {
    if (hookProc_ == nullptr) return 0;
    DWORD thread = GetWindowThreadProcessId(box, nullptr);
    e2e::Hook hook(SetWindowsHookExA(WH_CALLWNDPROC, hookProc_, hookModule_, thread));
    if (!hook) return 0;
    UINT query = RegisterWindowMessageA(e2e::kIconQueryMessage);
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutA(box, query, 0, 0, SMTO_NORMAL, kHookReplyMs, &reply)) return 0;
    return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(box, e2e::kIconProperty)));
  }

  static void Print(size_t number, const Box& box) {
    std::printf("dialog %zu\n", number);
    std::printf("  caption: %s\n", e2e::Quote(box.caption).c_str());
    std::printf("  text: %s\n", e2e::Quote(box.text).c_str());
    std::printf("  buttons: %s\n", box.buttons.c_str());
    std::printf("  default: %s\n", box.defaultButton.c_str());
    std::printf("  icon: %s\n", box.icon.c_str());
    std::fflush(stdout);
  }

  bool Finish() {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    std::printf("exit code: %lu\n", static_cast<unsigned long>(code));
    std::fflush(stdout);
    return true;
  }

  bool Fail(const std::string& reason) {
    if (process_) {
      if (WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
        Finish();
      } else {
        TerminateProcess(process_.get(), kTerminatedExitCode);
        WaitForSingleObject(process_.get(), kTerminateWaitMs);
        std::printf("exit code: terminated\n");
      }
    }
    std::printf("failure: %s\n", reason.c_str());
    std::fflush(stdout);
    return false;
  }

  const Options& options_;
  HOOKPROC hookProc_;
  HMODULE hookModule_;
  e2e::KernelHandle process_;
  DWORD pid_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: e2e-driver.exe [--answers OK,Cancel,...] [--dialog-timeout-ms N] [--exit-timeout-ms N]"
                 " -- program.exe [arguments...]\n");
    return 2;
  }
  char hookPath[MAX_PATH];
  e2e::Module hookDll;
  HOOKPROC hookProc = nullptr;
  if (e2e::PathBesideSelf("e2e-iconhook.dll", hookPath, sizeof hookPath)) {
    hookDll.reset(LoadLibraryA(hookPath));
  }
  if (hookDll) {
    hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(hookDll.get(), "IconQueryHook")));
  }
  if (hookProc == nullptr) std::fprintf(stderr, "e2e-driver: no icon hook beside the driver; icons read as unknown\n");
  Driver driver(options, hookProc, hookDll.get());
  return driver.Run() ? 0 : 1;
}
