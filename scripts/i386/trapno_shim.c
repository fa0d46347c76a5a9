/* Preloaded into the 32-bit half of Wine when it runs under qemu-i386.
 *
 * Wine's i386 fault handlers pick the Windows exception from the trap number in the signal frame's
 * machine context (14 page fault -> access violation, 0 divide error, 3 breakpoint, ...). qemu-user
 * leaves that number at -1, so every fault would come out as an illegal instruction. This library
 * wraps the handlers installed for the fault signals and, when the number is missing, derives it from
 * the signal and its si_code the way the Linux kernel would have set it, then calls the real handler.
 *
 * A value the kernel already filled in (a native 32-bit kernel) is left alone. The 64-bit build of this
 * file is empty: it exists only so that the "$LIB" preload path resolves for 64-bit processes too.
 */
#if defined(__i386__)

#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <sys/ucontext.h>

/* x86 exception vectors, as the kernel reports them in the trap number. */
enum {
  kTrapDivide = 0,
  kTrapDebug = 1,
  kTrapBreakpoint = 3,
  kTrapOverflow = 4,
  kTrapInvalidOpcode = 6,
  kTrapSegmentNotPresent = 11,
  kTrapGeneralProtection = 13,
  kTrapPageFault = 14,
  kTrapX87 = 16,
  kTrapAlignment = 17,
  kTrapSimd = 19,
  kTrapLast = 31,
};

typedef void (*InfoHandler)(int, siginfo_t *, void *);
typedef int (*SigactionFn)(int, const struct sigaction *, struct sigaction *);

/* The handler each fault signal really has; read from signal context, so plain stores of a pointer. */
static InfoHandler volatile real_handlers[NSIG];

static int is_fault_signal(int sig) {
  return sig == SIGSEGV || sig == SIGFPE || sig == SIGTRAP || sig == SIGILL || sig == SIGBUS;
}

/* An x87 fault leaves an unmasked exception bit in the status word; otherwise it was SSE. */
static int fpe_float_trap(const ucontext_t *uc) {
  const struct _libc_fpstate *fp = uc->uc_mcontext.fpregs;
  if (fp && ((fp->sw & ~fp->cw) & 0x3f)) return kTrapX87;
  return fp ? kTrapSimd : kTrapX87;
}

static int derive_trap(int sig, const siginfo_t *info, const ucontext_t *uc) {
  const int code = info->si_code;
  switch (sig) {
    case SIGSEGV:
      /* The kernel marks faults it raises itself (GP, into, bound) SI_KERNEL; page faults carry
       * SEGV_MAPERR / SEGV_ACCERR and the fault address. */
      return code == SI_KERNEL ? kTrapGeneralProtection : kTrapPageFault;
    case SIGBUS:
      if (code == SI_KERNEL) return kTrapSegmentNotPresent;
      return code == BUS_ADRALN ? kTrapAlignment : kTrapPageFault;
    case SIGILL:
      return kTrapInvalidOpcode;
    case SIGTRAP:
      /* int3 is SI_KERNEL; single steps and hardware breakpoints carry TRAP_* codes. */
      return code == SI_KERNEL ? kTrapBreakpoint : kTrapDebug;
    case SIGFPE:
      if (code == FPE_INTDIV) return kTrapDivide;
      if (code == FPE_INTOVF) return kTrapOverflow;
      return fpe_float_trap(uc);
    default:
      return -1;
  }
}

/* Runs before Wine's handler has restored its own segment registers, so it touches no TLS and calls
 * nothing in libc (built without the stack protector for the same reason). */
static void fill_trap_then_forward(int sig, siginfo_t *info, void *context) {
  ucontext_t *uc = context;
  greg_t *trapno = &uc->uc_mcontext.gregs[REG_TRAPNO];
  /* si_code <= 0: sent by a process (kill, tgkill, sigqueue), not raised by an instruction. */
  if ((*trapno < 0 || *trapno > kTrapLast) && info && info->si_code > 0) {
    const int trap = derive_trap(sig, info, uc);
    if (trap >= 0) *trapno = trap;
  }
  real_handlers[sig](sig, info, context);
}

static SigactionFn next_sigaction(void) {
  static SigactionFn next;
  if (!next) next = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
  return next;
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old) {
  SigactionFn next = next_sigaction();
  if (!next) return -1;
  if (sig <= 0 || sig >= NSIG || !is_fault_signal(sig)) return next(sig, act, old);

  InfoHandler previous = real_handlers[sig];
  struct sigaction wrapped;
  const struct sigaction *install = act;
  if (act && (act->sa_flags & SA_SIGINFO) && act->sa_sigaction != fill_trap_then_forward) {
    real_handlers[sig] = act->sa_sigaction;
    wrapped = *act;
    wrapped.sa_sigaction = fill_trap_then_forward;
    install = &wrapped;
  }
  const int result = next(sig, install, old);
  if (result != 0 && install != act) real_handlers[sig] = previous;
  /* The caller sees its own handler, so saving and restoring an old action round-trips. */
  if (result == 0 && old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == fill_trap_then_forward)
    old->sa_sigaction = previous;
  return result;
}

#else
/* Nothing to fix for 64-bit processes: the kernel fills the trap number in natively. */
typedef int trapno_shim_unused;
#endif
