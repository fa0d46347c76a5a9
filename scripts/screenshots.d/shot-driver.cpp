// shot-driver: starts a program and answers its message boxes one by one, pausing before each answer
// so that a script outside Wine can photograph the box.
//
//   shot-driver.exe SYNC_FOLDER OK,OK,Yes,OK program.exe [arguments...]
//
// For box N it writes SYNC_FOLDER\ready-N (holding the box's caption) once the box is shown and
// drawn, waits for SYNC_FOLDER\go-N to appear, then presses the named button. After the last
// answer it waits for the program to end and writes SYNC_FOLDER\exit (holding the exit code).
// Every wait is bounded; on a failure the program is terminated.
//
// Exit status: 0 when every answer was used and the program ended; 1 on a failure; 2 on a usage
// error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "../../tests/e2e/common/shown_box.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kBoxTimeoutMs = 30000;
constexpr DWORD kGoTimeoutMs = 60000;
constexpr DWORD kExitTimeoutMs = 30000;
// How long the box's thread may take to come back to its modal loop (it has then painted).
constexpr DWORD kIdleTimeoutMs = 5000;
constexpr int kMaxAnswers = 16;
// A command line or a path of ours: MAX_PATH-sized pieces, a few of them.
constexpr int kLineSize = 4 * MAX_PATH;

class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct ButtonName {
  const char* name;
  int id;
};
constexpr ButtonName kButtons[] = {{"OK", IDOK}, {"Cancel", IDCANCEL}, {"Yes", IDYES}, {"No", IDNO}};

int ButtonId(const char* name, size_t length) {
  for (const ButtonName& b : kButtons) {
    if (std::strlen(b.name) == length && std::strncmp(b.name, name, length) == 0) return b.id;
  }
  return 0;
}

// "OK,Cancel,Yes" into button ids; false on an unknown name or too many.
bool ParseAnswers(const char* list, int* ids, int* count) {
  *count = 0;
  const char* start = list;
  while (*start != '\0') {
    const char* comma = std::strchr(start, ',');
    size_t length = comma != nullptr ? static_cast<size_t>(comma - start) : std::strlen(start);
    int id = ButtonId(start, length);
    if (id == 0 || *count == kMaxAnswers) return false;
    ids[(*count)++] = id;
    if (comma == nullptr) break;
    start = comma + 1;
  }
  return *count > 0;
}

bool Append(char* line, size_t size, const char* piece) {
  size_t used = std::strlen(line);
  size_t length = std::strlen(piece);
  if (used + length + 1 > size) return false;
  std::memcpy(line + used, piece, length + 1);
  return true;
}

bool SyncPath(const char* folder, const char* name, int number, char* out, size_t size) {
  int n = number > 0 ? std::snprintf(out, size, "%s\\%s-%d", folder, name, number)
                     : std::snprintf(out, size, "%s\\%s", folder, name);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Written beside and renamed into place, so the script never reads half a file.
bool WriteMarker(const char* path, const char* content) {
  char temporary[kLineSize];
  if (std::snprintf(temporary, sizeof temporary, "%s.part", path) >= static_cast<int>(sizeof temporary)) return false;
  {
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    KernelHandle owner(file);
    DWORD written = 0;
    DWORD length = static_cast<DWORD>(std::strlen(content));
    if (!WriteFile(file, content, length, &written, nullptr) || written != length) return false;
  }
  return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) != 0;
}

// The shown box of the process, null when the process ended, false on a timeout.
bool WaitForBox(HANDLE process, DWORD pid, HWND* box) {
  DWORD start = GetTickCount();
  for (;;) {
    *box = e2e::ShownBoxOf(pid);
    if (*box != nullptr) return true;
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start >= kBoxTimeoutMs) return false;
  }
}

bool WaitForFile(const char* path, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

bool WaitForClose(HANDLE process, HWND box) {
  DWORD start = GetTickCount();
  while (IsWindow(box) && (GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) != 0) {
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start >= kBoxTimeoutMs) return false;
  }
  return true;
}

int Fail(HANDLE process, const char* reason, int number) {
  std::printf("shot-driver: %s (dialog %d)\n", reason, number);
  std::fflush(stdout);
  if (process != nullptr) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int answers[kMaxAnswers];
  int answerCount = 0;
  if (argc < 4 || !ParseAnswers(argv[2], answers, &answerCount)) {
    std::fprintf(stderr, "usage: shot-driver.exe SYNC_FOLDER OK,Cancel,Yes,No,... program.exe [arguments...]\n");
    return 2;
  }
  const char* folder = argv[1];
  // The program's arguments are passed on quoted; ours are plain paths and words.
  char commandLine[kLineSize] = {};
  for (int i = 3; i < argc; ++i) {
    if ((i > 3 && !Append(commandLine, sizeof commandLine, " ")) || !Append(commandLine, sizeof commandLine, "\"") ||
        !Append(commandLine, sizeof commandLine, argv[i]) || !Append(commandLine, sizeof commandLine, "\"")) {
      std::fprintf(stderr, "shot-driver: command line too long\n");
      return 2;
    }
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return Fail(nullptr, "cannot start the program", 0);
  }
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);

  char path[kLineSize];
  for (int n = 1; n <= answerCount; ++n) {
    HWND box = nullptr;
    if (!WaitForBox(process.Get(), info.dwProcessId, &box)) return Fail(process.Get(), "no box came", n);
    if (box == nullptr) return Fail(nullptr, "the program ended before this box", n);
    // Once the box's thread answers, it sits idle in its modal loop, so it has drawn itself.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, kIdleTimeoutMs, &ignored);
    // In Wine's virtual desktop a program's first box is the active window but keeps the grey
    // caption of an inactive one; have it draw its frame in the state it is in.
    if (GetForegroundWindow() == box) {
      SendMessageTimeoutA(box, WM_NCACTIVATE, TRUE, 0, SMTO_NORMAL, kIdleTimeoutMs, &ignored);
    }
    char caption[MAX_PATH] = {};
    GetWindowTextA(box, caption, sizeof caption);
    std::printf("dialog %d: \"%s\"\n", n, caption);
    std::fflush(stdout);
    if (!SyncPath(folder, "ready", n, path, sizeof path) || !WriteMarker(path, caption)) {
      return Fail(process.Get(), "cannot write the ready marker", n);
    }
    if (!SyncPath(folder, "go", n, path, sizeof path) || !WaitForFile(path, kGoTimeoutMs)) {
      return Fail(process.Get(), "no go from the script", n);
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answers[n - 1], BN_CLICKED), 0);
    if (!WaitForClose(process.Get(), box)) return Fail(process.Get(), "the box stayed after the answer", n);
  }

  if (WaitForSingleObject(process.Get(), kExitTimeoutMs) != WAIT_OBJECT_0) {
    return Fail(process.Get(), "the program did not end", answerCount + 1);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  std::printf("exit code: %lu\n", static_cast<unsigned long>(code));
  std::fflush(stdout);
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(code));
  if (!SyncPath(folder, "exit", 0, path, sizeof path) || !WriteMarker(path, text)) return 1;
  return 0;
}
