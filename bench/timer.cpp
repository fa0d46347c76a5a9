// bench-timer: the Windows side of bench/run. It runs programs under measurement inside the Wine
// prefix and prints one line per sample; bench/run takes the medians and prints the table.
//
//   bench-timer.exe first-box <rounds> <program.exe>...
//       Each round starts every program in turn and measures the milliseconds from CreateProcessA
//       to the first visible message box of that process; the box is then closed (Cancel when it
//       has one, else OK) and the program must end.
//       Prints "first-box <program> <ms>" per sample.
//   bench-timer.exe extract <rounds> <installer.exe> <payload> <component path> [<pause flag>]
//       Each round runs the installer, answers OK to the consent question and the close-browsers
//       notice, and measures the milliseconds from the answer to the notice to the next box. The
//       payload is not a library, so that box is the registration failure, shown right after the
//       copy; while it is up, the installer's working set is read and the component file must hold
//       the payload's bytes. The same round then times the reference: CopyFileA of the payload to
//       the component's folder and FlushFileBuffers on the copy.
//       With a pause flag, the first round writes that file while the box is up and waits until it
//       is deleted (bench/run reads the process's /proc entry meanwhile).
//       Prints "extract <ms> <peak working set KiB> <working set KiB>" and "copy <ms>" per round.
//   bench-timer.exe memory-write <payload> <file>
//       Once per process, so that it starts as fresh as the installer does: reads the payload into
//       memory of its own, then times writing it to <file> in the installer's chunk size and
//       flushing it. Separates the cost of writing from a program's memory from the installer's.
//       Prints "memory-write <ms>".
//   bench-timer.exe image-read <installer.exe>
//       Once per process: maps the installer as a module, the way a process image is mapped, and
//       times reading one byte of every page of its embedded component, twice. The first read is
//       what the installer's copy pays on top of the writes for the component's pages.
//       Prints "image-read <first ms> <second ms>".
// Exit status 0, or 1 with the reason on stderr.
#define PSAPI_VERSION 2  // K32GetProcessMemoryInfo from kernel32
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../tests/e2e/common/shown_box.h"

namespace {

constexpr DWORD kBoxTimeoutMs = 60000;  // a 128 MiB copy with its flush takes seconds
constexpr DWORD kExitTimeoutMs = 30000;
constexpr DWORD kPauseTimeoutMs = 30000;
constexpr int kTextStaticId = 0xFFFF;
// While the installer copies, the copy is timed from its own calls (bench/run reads them from the
// relay trace), so the wait for the box after it need not be fine-grained.
constexpr DWORD kQuietPollMs = 50;
#ifndef BENCH_SETTLE_MS
#define BENCH_SETTLE_MS 1000
#endif
constexpr DWORD kSettleMs = BENCH_SETTLE_MS;
constexpr char kReferenceName[] = "bench-reference.bin";
constexpr DWORD kInstallerChunk = 61440;  // the installer's WriteFile size (setup_ops/component_file.cpp)

class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~KernelHandle() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  KernelHandle(const KernelHandle &) = delete;
  KernelHandle &operator=(const KernelHandle &) = delete;
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// A started program whose process is terminated if it is still running when this goes.
class Child {
 public:
  Child() = default;
  ~Child() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, kExitTimeoutMs);
    }
    if (process_) CloseHandle(process_);
  }
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  bool Start(const char *program) {
    char commandLine[MAX_PATH + 3];
    if (std::snprintf(commandLine, sizeof commandLine, "\"%s\"", program) >= static_cast<int>(sizeof commandLine))
      return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return true;
  }

  HANDLE Process() const { return process_; }
  DWORD Pid() const { return pid_; }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

[[noreturn]] void Fail(const char *what, const char *detail = "") {
  std::fprintf(stderr, "bench-timer: %s%s (error %lu)\n", what, detail, static_cast<unsigned long>(GetLastError()));
  std::exit(1);
}

double Millis(LONGLONG from, LONGLONG to) {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The program's first visible box; fails when the program ends or nothing comes in time. Every
// poll costs the wineserver a round of window lookups, so waits that are not themselves measured
// poll less often and leave the CPU to the program.
HWND WaitForBox(const Child &child, DWORD pollMs = 1) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND box = e2e::ShownBoxOf(child.Pid())) return box;
    if (WaitForSingleObject(child.Process(), pollMs) == WAIT_OBJECT_0) Fail("the program ended before its box");
    if (GetTickCount() - start > kBoxTimeoutMs) Fail("no box came");
  }
}

void Answer(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  const DWORD start = GetTickCount();
  while (IsWindow(box) && (GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) != 0) {
    if (GetTickCount() - start > kBoxTimeoutMs) Fail("a box did not close");
    Sleep(1);
  }
}

void WaitForExit(const Child &child) {
  if (WaitForSingleObject(child.Process(), kExitTimeoutMs) != WAIT_OBJECT_0) Fail("the program did not end");
}

int Rounds(const char *text) {
  const int rounds = std::atoi(text);
  if (rounds <= 0) Fail("rounds must be a positive number: ", text);
  return rounds;
}

int FirstBox(int argc, char **argv) {
  const int rounds = Rounds(argv[2]);
  for (int round = 0; round < rounds; ++round) {
    for (int i = 3; i < argc; ++i) {
      Child child;
      const LONGLONG start = Now();
      if (!child.Start(argv[i])) Fail("cannot start ", argv[i]);
      const HWND box = WaitForBox(child);
      const double ms = Millis(start, Now());
      Answer(box, GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK);
      WaitForExit(child);
      std::printf("first-box %s %.2f\n", argv[i], ms);
      std::fflush(stdout);
    }
  }
  return 0;
}

LONGLONG FileSize(const char *path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
  return static_cast<LONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void BoxText(HWND box, char *text, int size) {
  text[0] = '\0';
  if (const HWND label = GetDlgItem(box, kTextStaticId)) GetWindowTextA(label, text, size);
}

// Waits, with the box up, until bench/run has read the process and deleted the flag.
void PauseAt(const char *flag, DWORD pid) {
  {
    KernelHandle file(CreateFileA(flag, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) Fail("cannot write ", flag);
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%lu\n", static_cast<unsigned long>(pid));
    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(length), &written, nullptr);
  }
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(flag) != INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kPauseTimeoutMs) Fail("the pause flag was not removed: ", flag);
    Sleep(10);
  }
}

// Freed blocks are discarded when the file system commits its journal, which can land in the
// middle of the next copy: the outputs of a round are deleted at its start and both copies wait out
// the same pause before they begin.
void Settle() { Sleep(kSettleMs); }

double TimeInstaller(const char *installer, const char *component, LONGLONG payloadSize, const char *pauseFlag,
                     SIZE_T *peakKiB, SIZE_T *currentKiB) {
  Settle();
  Child child;
  if (!child.Start(installer)) Fail("cannot start ", installer);
  Answer(WaitForBox(child), IDOK);  // consent
  const HWND notice = WaitForBox(child);
  const LONGLONG start = Now();
  Answer(notice, IDOK);
  const HWND next = WaitForBox(child, kQuietPollMs);
  const double ms = Millis(start, Now());

  char text[256];
  BoxText(next, text, sizeof text);
  if (FileSize(component) != payloadSize) Fail("the component was not written whole; the box says: ", text);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(child.Process(), &counters, sizeof counters)) Fail("no memory counters");
  *peakKiB = counters.PeakWorkingSetSize / 1024;
  *currentKiB = counters.WorkingSetSize / 1024;
  if (pauseFlag) PauseAt(pauseFlag, child.Pid());
  Answer(next, IDOK);
  WaitForExit(child);
  return ms;
}

double TimeReferenceCopy(const char *payload, const char *copy, LONGLONG payloadSize) {
  Settle();
  const LONGLONG start = Now();
  if (!CopyFileA(payload, copy, FALSE)) Fail("CopyFileA failed: ", copy);
  {
    KernelHandle file(CreateFileA(copy, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || !FlushFileBuffers(file.Get())) Fail("cannot flush ", copy);
  }
  const double ms = Millis(start, Now());
  if (FileSize(copy) != payloadSize) Fail("the reference copy is incomplete: ", copy);
  return ms;
}

int Extract(int argc, char **argv) {
  const int rounds = Rounds(argv[2]);
  const char *installer = argv[3];
  const char *payload = argv[4];
  const char *component = argv[5];
  const char *pauseFlag = argc > 6 ? argv[6] : nullptr;
  const LONGLONG payloadSize = FileSize(payload);
  if (payloadSize < 0) Fail("no payload at ", payload);

  // The reference copy goes beside the component, on the same volume and in the same folder.
  char copy[MAX_PATH];
  const char *slash = std::strrchr(component, '\\');
  if (!slash) Fail("the component path has no folder: ", component);
  const int folderLength = static_cast<int>(slash - component + 1);
  if (std::snprintf(copy, sizeof copy, "%.*s%s", folderLength, component, kReferenceName) >=
      static_cast<int>(sizeof copy))
    Fail("path too long: ", component);

  for (int round = 0; round < rounds; ++round) {
    DeleteFileA(component);
    DeleteFileA(copy);
    SIZE_T peakKiB = 0, currentKiB = 0;
    const double extractMs =
        TimeInstaller(installer, component, payloadSize, round == 0 ? pauseFlag : nullptr, &peakKiB, &currentKiB);
    std::printf("extract %.2f %lu %lu\n", extractMs, static_cast<unsigned long>(peakKiB),
                static_cast<unsigned long>(currentKiB));
    std::printf("copy %.2f\n", TimeReferenceCopy(payload, copy, payloadSize));
    std::fflush(stdout);
  }
  DeleteFileA(component);
  DeleteFileA(copy);
  return 0;
}

int MemoryWrite(const char *payload, const char *file) {
  const LONGLONG size = FileSize(payload);
  if (size <= 0 || size > 0x7FFFFFFF) Fail("no payload at ", payload);
  BYTE *bytes = static_cast<BYTE *>(VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_COMMIT, PAGE_READWRITE));
  if (!bytes) Fail("no memory for ", payload);
  {
    KernelHandle in(CreateFileA(payload, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD read = 0;
    if (!in.Valid() || !ReadFile(in.Get(), bytes, static_cast<DWORD>(size), &read, nullptr) || read != size)
      Fail("cannot read ", payload);
  }
  DeleteFileA(file);
  Settle();
  const LONGLONG start = Now();
  {
    KernelHandle out(CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!out.Valid()) Fail("cannot create ", file);
    for (LONGLONG offset = 0; offset < size;) {
      const DWORD chunk = size - offset < kInstallerChunk ? static_cast<DWORD>(size - offset) : kInstallerChunk;
      DWORD written = 0;
      if (!WriteFile(out.Get(), bytes + offset, chunk, &written, nullptr) || written != chunk) Fail("cannot write ", file);
      offset += chunk;
    }
    if (!FlushFileBuffers(out.Get())) Fail("cannot flush ", file);
  }
  std::printf("memory-write %.2f\n", Millis(start, Now()));
  DeleteFileA(file);
  VirtualFree(bytes, 0, MEM_RELEASE);
  return 0;
}

// One byte of every page, so each page is touched once; volatile keeps every read.
double ReadEveryPage(const volatile BYTE *bytes, DWORD size) {
  const LONGLONG start = Now();
  for (DWORD offset = 0; offset < size; offset += 4096) (void)bytes[offset];
  return Millis(start, Now());
}

int ImageRead(const char *installer) {
  const HMODULE module = LoadLibraryExA(installer, nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) Fail("cannot map ", installer);
  const HRSRC found = FindResourceA(module, "LIBRARY_DATA", MAKEINTRESOURCEA(10));
  const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const BYTE *bytes = loaded ? static_cast<const BYTE *>(LockResource(loaded)) : nullptr;
  if (!bytes) Fail("no LIBRARY_DATA in ", installer);
  const DWORD size = SizeofResource(module, found);
  const double first = ReadEveryPage(bytes, size);
  const double second = ReadEveryPage(bytes, size);
  std::printf("image-read %.2f %.2f\n", first, second);
  FreeLibrary(module);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 4 && std::strcmp(argv[1], "first-box") == 0) return FirstBox(argc, argv);
  if ((argc == 6 || argc == 7) && std::strcmp(argv[1], "extract") == 0) return Extract(argc, argv);
  if (argc == 4 && std::strcmp(argv[1], "memory-write") == 0) return MemoryWrite(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "image-read") == 0) return ImageRead(argv[2]);
  std::fprintf(stderr,
               "usage: bench-timer.exe first-box <rounds> <program.exe>...\n"
               "       bench-timer.exe extract <rounds> <installer.exe> <payload> <component path> [<pause flag>]\n"
               "       bench-timer.exe memory-write <payload> <file>\n"
               "       bench-timer.exe image-read <installer.exe>\n");
  return 2;
}
