// Three services the C++ runtime needs from a thread library, on Win32 directly.
// The runtime's own versions go through the POSIX thread layer that MinGW
// links in (its once, condition variables, read-write locks and thread-local
// emulation), about 30 KiB of the program for what a few interlocked
// operations and one TLS slot do. Defined here, in an object the program
// always links, they are found before the runtime's; the unit tests keep the
// runtime's.
#include <windows.h>

#include <stdlib.h>

namespace {
// The Itanium C++ ABI's guard of a function-local static: the compiler tests
// the first byte for "done" inline before calling in. The second 32-bit word
// holds the id of the thread that is running the initialiser, 0 when none is.
struct StaticGuard {
  volatile unsigned char done;
  unsigned char unused[3];
  volatile LONG owner;
};

bool Done(const StaticGuard* guard) {
  return __atomic_load_n(&guard->done, __ATOMIC_ACQUIRE) != 0;
}

// The runtime's per-thread exception records: the stack of caught exceptions
// and the count of those thrown but not yet caught. Zero for a new thread.
struct ExceptionGlobals {
  void* caught_exceptions;
  unsigned int uncaught_exceptions;
};

volatile DWORD g_globals_slot = TLS_OUT_OF_INDEXES;

DWORD GlobalsSlot() {
  DWORD slot = g_globals_slot;
  if (slot != TLS_OUT_OF_INDEXES) return slot;
  DWORD mine = TlsAlloc();
  if (mine == TLS_OUT_OF_INDEXES) abort();
  slot = static_cast<DWORD>(InterlockedCompareExchange(
      reinterpret_cast<volatile LONG*>(&g_globals_slot), static_cast<LONG>(mine),
      static_cast<LONG>(TLS_OUT_OF_INDEXES)));
  // Another thread allocated one first; this one's stays unused.
  return slot == TLS_OUT_OF_INDEXES ? mine : slot;
}
}  // namespace

extern "C" {
// Returns 1 when the caller is to run the initialiser, 0 when it has run. A
// thread that finds another one initialising waits for it; the initialisers
// are short. One that finds itself initialising recursed into its own static:
// a programming error, which the runtime ends the same way.
int __cxa_guard_acquire(StaticGuard* guard) {
  const LONG self = static_cast<LONG>(GetCurrentThreadId());
  for (;;) {
    if (Done(guard)) return 0;
    const LONG owner = InterlockedCompareExchange(&guard->owner, self, 0);
    if (owner == 0) {
      if (!Done(guard)) return 1;
      InterlockedExchange(&guard->owner, 0);
      return 0;
    }
    if (owner == self) abort();
    Sleep(1);
  }
}

void __cxa_guard_release(StaticGuard* guard) {
  __atomic_store_n(&guard->done, 1, __ATOMIC_RELEASE);
  InterlockedExchange(&guard->owner, 0);
}

// The initialiser threw: the next caller tries again.
void __cxa_guard_abort(StaticGuard* guard) {
  InterlockedExchange(&guard->owner, 0);
}

// Each thread's block is allocated at its first throw and not freed when the
// thread ends: eight bytes for each of the few threads the program starts.
// The caller may be about to read GetLastError (a catch block), which
// TlsGetValue resets.
void* __cxa_get_globals() {
  const DWORD error = GetLastError();
  const DWORD slot = GlobalsSlot();
  void* globals = TlsGetValue(slot);
  if (!globals) {
    globals = calloc(1, sizeof(ExceptionGlobals));
    if (!globals || !TlsSetValue(slot, globals)) abort();
  }
  SetLastError(error);
  return globals;
}

void* __cxa_get_globals_fast() {
  return __cxa_get_globals();
}

// The 32-bit unwinder sets up its register table once, through POSIX once.
// 0: not run, 1: running, 2: done (the POSIX initial value is 0).
int pthread_once(volatile LONG* once, void (*function)()) {
  for (;;) {
    const LONG state = InterlockedCompareExchange(once, 1, 0);
    if (state == 2) return 0;
    if (state == 0) {
      function();
      InterlockedExchange(once, 2);
      return 0;
    }
    Sleep(1);
  }
}
}  // extern "C"
