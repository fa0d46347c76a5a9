// A 32-bit console program that makes one processor fault and reports how Windows delivered it, or
// reports what a 32-bit process sees of its system folder, or has "regsvr32" register a library the
// way the installer does. Run by i386_checks.sh inside scripts/i386/run-in-namespace.
//
//   fault_probe.exe read-av | write-av | divide | int3 | ud2 | hlt
//       prints "exception=XXXXXXXX param0=N param1=XXXXXXXX site=S" from a vectored exception
//       handler and exits with the exception code; S is "fault" when the reported address is the
//       faulting instruction, otherwise the address. "no exception" and exit code 1 if none came.
//   fault_probe.exe sysdir
//       prints "sysdir=<GetSystemDirectoryA> wow64dir=<GetSystemWow64DirectoryA> wow64=<0|1>
//       regsvr32=<machine of sysdir\regsvr32.exe as this process opens it, hex>".
//   fault_probe.exe register <path>
//       runs "regsvr32" /s "<path>" hidden through the shell, waits, prints "regsvr32 exit=N".
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>

namespace {

// The address the access-violation cases touch: inside the always-unmapped first 64 KiB.
constexpr ULONG_PTR kUnmappedAddress = 0x10;

// Where the faulting instruction of the running case is, so the handler can say whether the
// exception points at it (Wine backs the breakpoint's address up over the int3 only when it knows
// the fault was a breakpoint).
const void* volatile g_fault_site = nullptr;

LONG WINAPI ReportAndExit(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  const ULONG_PTR param0 = record->NumberParameters > 0 ? record->ExceptionInformation[0] : 0;
  const ULONG_PTR param1 = record->NumberParameters > 1 ? record->ExceptionInformation[1] : 0;
  char site[32];
  if (record->ExceptionAddress == g_fault_site) {
    strcpy(site, "fault");
  } else {
    snprintf(site, sizeof(site), "%p", record->ExceptionAddress);
  }
  printf("exception=%08lX param0=%lu param1=%08lX site=%s\n", record->ExceptionCode,
         static_cast<unsigned long>(param0), static_cast<unsigned long>(param1), site);
  fflush(stdout);
  ExitProcess(record->ExceptionCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

// Each fault comes from one instruction behind a global label, so its address is known exactly.
extern "C" const char probe_read_site[] __asm__("probe_read_site");
extern "C" const char probe_write_site[] __asm__("probe_write_site");
extern "C" const char probe_divide_site[] __asm__("probe_divide_site");
extern "C" const char probe_int3_site[] __asm__("probe_int3_site");
extern "C" const char probe_ud2_site[] __asm__("probe_ud2_site");
extern "C" const char probe_hlt_site[] __asm__("probe_hlt_site");

__attribute__((noinline)) void ReadUnmapped() {
  g_fault_site = probe_read_site;
  ULONG_PTR value;
  __asm__ volatile(".globl probe_read_site\nprobe_read_site:\n\tmovl (%1), %0"
                   : "=r"(value)
                   : "r"(kUnmappedAddress)
                   : "memory");
}

__attribute__((noinline)) void WriteUnmapped() {
  g_fault_site = probe_write_site;
  __asm__ volatile(".globl probe_write_site\nprobe_write_site:\n\tmovl $1, (%0)"
                   :
                   : "r"(kUnmappedAddress)
                   : "memory");
}

__attribute__((noinline)) void DivideByZero() {
  g_fault_site = probe_divide_site;
  unsigned int low = 1, high = 0;
  const unsigned int divisor = 0;
  __asm__ volatile(".globl probe_divide_site\nprobe_divide_site:\n\tdivl %2"
                   : "+a"(low), "+d"(high)
                   : "r"(divisor)
                   : "memory");
}

__attribute__((noinline)) void Breakpoint() {
  g_fault_site = probe_int3_site;
  __asm__ volatile(".globl probe_int3_site\nprobe_int3_site:\n\tint3" ::: "memory");
}

__attribute__((noinline)) void InvalidOpcode() {
  g_fault_site = probe_ud2_site;
  __asm__ volatile(".globl probe_ud2_site\nprobe_ud2_site:\n\tud2" ::: "memory");
}

__attribute__((noinline)) void PrivilegedInstruction() {
  g_fault_site = probe_hlt_site;
  __asm__ volatile(".globl probe_hlt_site\nprobe_hlt_site:\n\thlt" ::: "memory");
}

struct Case {
  const char* name;
  void (*run)();
};

constexpr Case kCases[] = {
    {"read-av", ReadUnmapped}, {"write-av", WriteUnmapped}, {"divide", DivideByZero},
    {"int3", Breakpoint},      {"ud2", InvalidOpcode},      {"hlt", PrivilegedInstruction},
};

// Owns a kernel handle; both null and INVALID_HANDLE_VALUE mean none.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The machine field of a PE file's header, or 0 when it can't be read.
WORD ImageMachine(const char* path) {
  Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return 0;
  IMAGE_DOS_HEADER dos;
  DWORD got = 0;
  if (!ReadFile(file.get(), &dos, sizeof(dos), &got, nullptr) || got != sizeof(dos) ||
      dos.e_magic != IMAGE_DOS_SIGNATURE)
    return 0;
  if (SetFilePointer(file.get(), dos.e_lfanew, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER header;
  } nt;
  if (!ReadFile(file.get(), &nt, sizeof(nt), &got, nullptr) || got != sizeof(nt) ||
      nt.signature != IMAGE_NT_SIGNATURE)
    return 0;
  return nt.header.Machine;
}

int ReportSystemDirectory() {
  char dir[MAX_PATH];
  UINT length = GetSystemDirectoryA(dir, sizeof(dir));
  if (length == 0 || length >= sizeof(dir)) {
    printf("GetSystemDirectoryA failed: %lu\n", GetLastError());
    return 1;
  }
  char wow64_dir[MAX_PATH];
  length = GetSystemWow64DirectoryA(wow64_dir, sizeof(wow64_dir));
  if (length == 0 || length >= sizeof(wow64_dir)) strcpy(wow64_dir, "none");
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) {
    printf("IsWow64Process failed: %lu\n", GetLastError());
    return 1;
  }
  char regsvr32[MAX_PATH + 16];
  snprintf(regsvr32, sizeof(regsvr32), "%s\\regsvr32.exe", dir);
  printf("sysdir=%s wow64dir=%s wow64=%d regsvr32=%04X\n", dir, wow64_dir, wow64 ? 1 : 0,
         ImageMachine(regsvr32));
  return 0;
}

int RegisterLibrary(const char* path) {
  char parameters[MAX_PATH + 16];
  snprintf(parameters, sizeof(parameters), "/s \"%s\"", path);
  SHELLEXECUTEINFOA run = {};
  run.cbSize = sizeof(run);
  run.fMask = SEE_MASK_NOCLOSEPROCESS;
  run.lpFile = "regsvr32";
  run.lpParameters = parameters;
  run.nShow = SW_HIDE;
  if (!ShellExecuteExA(&run)) {
    printf("ShellExecuteExA failed: %lu\n", GetLastError());
    return 1;
  }
  Handle process(run.hProcess);
  DWORD code = 0;
  if (!process.valid() || WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &code)) {
    printf("waiting for regsvr32 failed: %lu\n", GetLastError());
    return 1;
  }
  printf("regsvr32 exit=%lu\n", code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "register") == 0) return RegisterLibrary(argv[2]);
  if (argc != 2) {
    printf("usage: fault_probe.exe read-av|write-av|divide|int3|ud2|hlt|sysdir|register <path>\n");
    return 2;
  }
  if (strcmp(argv[1], "sysdir") == 0) return ReportSystemDirectory();
  for (const Case& c : kCases) {
    if (strcmp(argv[1], c.name) != 0) continue;
    // First in line, ahead of any frame-based handler the runtime has.
    if (!AddVectoredExceptionHandler(1, ReportAndExit)) {
      printf("AddVectoredExceptionHandler failed: %lu\n", GetLastError());
      return 1;
    }
    c.run();
    printf("no exception\n");
    return 1;
  }
  printf("unknown case: %s\n", argv[1]);
  return 2;
}
