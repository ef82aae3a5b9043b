// Faults and exceptions that nothing handles: structured exceptions turned
// into SehException on the threads that ask for it, and one last-resort path
// for whatever escapes (an unhandled structured exception, or a C++
// exception that reaches std::terminate): log line, error report, cleanup,
// end of the process with kExitCrashed.
#pragma once
#include <windows.h>

#include <cstdint>

// Throws the SehException for a structured exception: "[<sub-kind>] " + the
// fault description + its stack trace, with the source location of the
// faulting frame when the symbols know it. Never returns.
[[noreturn]] void TranslateStructuredException(uint32_t code, EXCEPTION_POINTERS* pointers);

// The process-wide unhandled-exception filter: on a thread with a translator
// it resumes the thread in TranslateStructuredException; otherwise it ends
// the process through the last-resort path.
LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* pointers);

// Installs TopLevelExceptionFilter and the terminate handler, once per
// process; later calls do nothing.
void InstallLastResortHandling();

// For the life of the object, structured exceptions on the calling thread
// become SehException (and the last-resort handling is installed). The
// launcher's worker threads hold one around their body.
class ScopedExceptionTranslator {
 public:
  ScopedExceptionTranslator();
  ~ScopedExceptionTranslator();
  ScopedExceptionTranslator(const ScopedExceptionTranslator&) = delete;
  ScopedExceptionTranslator& operator=(const ScopedExceptionTranslator&) = delete;

  struct PendingFault {
    EXCEPTION_RECORD record;
    CONTEXT context;
    bool translating;
  };

 private:
  PendingFault fault_ = {};
};

// What the last-resort path runs before the process ends (the removal of the
// run's files). The owner makes it safe to run twice; null clears it.
void SetCrashCleanup(void (*cleanup)(void* context), void* context);

// The context of the fault this thread is translating or has last
// translated; null when it has none. Clone's traces come from it.
const CONTEXT* CurrentFaultContext();
