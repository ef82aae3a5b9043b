// Structured exceptions become C++ exceptions without __try or
// _set_se_translator, which MinGW lacks. A fault that no frame handles reaches
// TopLevelExceptionFilter while the faulting frames are still on the stack:
// the search for a handler found none and nothing was unwound. On a thread
// that holds a ScopedExceptionTranslator the filter keeps the fault's record
// and context, makes the context look as if the faulting instruction had
// called ThrowPendingFault (the fault address + 1 pushed as the return
// address, so the unwinder lands inside the faulting instruction's range) and
// resumes the thread there. The SehException is thrown from the fault's own
// stack, and both of GCC's unwinders walk on through the faulting frame: x64's
// over the SEH unwind tables, x86's (DWARF-2) over .eh_frame. Code that must
// run its cleanups as a fault passes through it is compiled with
// -fnon-call-exceptions.
// The two unwinders differ in how far they reach. x64's reads the unwind
// tables every module has, system DLLs included. x86's reads only the
// .eh_frame tables of our own image: a fault whose frame it cannot find
// (RaiseException and every other fault inside system code) is not
// redirected: the throw could not leave that frame and would end in
// std::terminate. It takes the last-resort path directly, with the log
// line, report and exit code that any fault nobody catches gets.
// A vectored handler would see faults first, before
// the system code that handles its own (probing a pointer, RPC); this one
// only sees what nobody handled.
#include "platform/core/exception_handling.h"

#include <exception>
#include <string>

#include "core/stable_numbers.h"
#include "platform/core/exception_presenter.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "platform/core/stack_trace.h"
#include "ui/common_controls.h"
#include "ui/ui_state.h"
#include "util/wide_format.h"

using PendingFault = ScopedExceptionTranslator::PendingFault;

extern "C" {
// Where a redirected fault resumes, as if called by the faulting instruction.
// The faulting frame's stack may be aligned to 8 only (a leaf function), so
// this stub keeps its caller's stack pointer in a frame register, aligns the
// stack for C++ and calls ChainerThrowPendingFault; its unwind data gives the
// unwinder the faulting frame's exact stack pointer back.
void ChainerResumeAfterFault();
[[noreturn]] void ChainerThrowPendingFault();
}
#ifdef _WIN64
asm(R"(
  .text
  .globl ChainerResumeAfterFault
  .def ChainerResumeAfterFault; .scl 2; .type 32; .endef
  .seh_proc ChainerResumeAfterFault
ChainerResumeAfterFault:
  pushq %rbp
  .seh_pushreg %rbp
  movq %rsp, %rbp
  .seh_setframe %rbp, 0
  .seh_endprologue
  andq $-16, %rsp
  subq $32, %rsp
  call ChainerThrowPendingFault
  int3
  .seh_endproc
)");
#else
asm(R"(
  .text
  .globl _ChainerResumeAfterFault
  .def _ChainerResumeAfterFault; .scl 2; .type 32; .endef
_ChainerResumeAfterFault:
  .cfi_startproc
  pushl %ebp
  .cfi_def_cfa_offset 8
  .cfi_offset %ebp, -8
  movl %esp, %ebp
  .cfi_def_cfa_register %ebp
  andl $-16, %esp
  call _ChainerThrowPendingFault
  int3
  .cfi_endproc
)");
#endif

namespace {

DWORD g_fault_slot = TLS_OUT_OF_INDEXES;
void (*g_cleanup)(void*) = nullptr;
void* g_cleanup_context = nullptr;

PendingFault* ThreadFault() {
  if (g_fault_slot == TLS_OUT_OF_INDEXES) return nullptr;
  return static_cast<PendingFault*>(TlsGetValue(g_fault_slot));
}

// The codes of GCC's own throws on x64 ("GCC" with a type byte).
bool IsGccException(DWORD code) {
  return (code & 0xF0FFFFFFu) == 0x20474343u;
}

std::wstring UnhandledPrefix() {
  return std::wstring(L"[") + ExceptionKindName(kExceptionUnhandled) + L"] ";
}

[[noreturn]] void EndAfterCrash(const std::wstring& details) {
  // A second thread that crashes meanwhile waits for the first to end the
  // process. The crashing thread itself may come back here (a fault in the
  // report or the cleanup): it must not wait for itself, so it ends at once.
  static LONG ending = 0;
  static volatile DWORD ending_thread = 0;
  if (InterlockedExchange(&ending, 1)) {
    if (ending_thread == GetCurrentThreadId()) TerminateProcess(GetCurrentProcess(), kExitCrashed);
    for (;;) Sleep(INFINITE);
  }
  ending_thread = GetCurrentThreadId();
  if (LoggingEnabled) LOGGER.Write(L"Unhandled exception:" + details.substr(0, details.find(L'\r')));
  try {
    if (InteractiveUi) {
      // A crash may come before the run has decided to show windows.
      EnsureCommonControlClasses();
      PresentError(nullptr, ReportMainText(), details);
    }
    if (g_cleanup) g_cleanup(g_cleanup_context);
  } catch (...) {
    // Nothing is left to do but end: the report and the cleanup are best effort.
  }
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kExitCrashed));
  ExitProcess(static_cast<UINT>(kExitCrashed));
}

// An exception that escaped every catch: with GCC it never reaches the
// unhandled-exception filter, only std::terminate, with the stack still in
// place below the throw.
[[noreturn]] void OnTerminate() {
  std::wstring details = UnhandledPrefix();
  if (std::exception_ptr escaped = std::current_exception()) {
    try {
      std::rethrow_exception(escaped);
    } catch (const Exception& e) {
      if (e.GetType() != kExceptionSeh) details += L"[" + e.GetTypeName() + L"] ";
      details += e.message();
    } catch (const std::exception& e) {
      details += std::wstring(L"[") + ExceptionKindName(kExceptionStd) + L"] " + FromAnsi(e.what());
    } catch (...) {
    }
  }
  if (details.find(StackTraceHeader()) == std::wstring::npos) {
    CONTEXT here;
    RtlCaptureContext(&here);
    details += L"\r\n";
    CaptureStackTrace(&details, &here, kStackTraceFrames);
  }
  EndAfterCrash(details);
}

#ifndef _WIN64
// x86's unwinder walks frames by the .eh_frame tables that only our own code
// has; a fault it cannot walk from (inside RaiseException or another system
// function) would make the throw end in std::terminate.
struct DwarfBases {
  void* tbase;
  void* dbase;
  void* func;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, DwarfBases* bases);

bool UnwinderKnows(uintptr_t pc) {
  DwarfBases bases;
  return _Unwind_Find_FDE(reinterpret_cast<void*>(pc), &bases) != nullptr;
}
#endif

bool Overlaps(uintptr_t slot, const void* block, size_t size) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  return slot + sizeof(uintptr_t) > start && slot < start + size;
}

bool ResumeInTranslator(EXCEPTION_POINTERS* pointers) {
  PendingFault* fault = ThreadFault();
  if (!fault || fault->translating || !pointers->ContextRecord) return false;
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  // No stack left to throw on; a fault that cannot be continued stays one.
  if (record.ExceptionCode == EXCEPTION_STACK_OVERFLOW ||
      (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE)) {
    return false;
  }
  CONTEXT* context = pointers->ContextRecord;
#ifdef _WIN64
  DWORD64& ip = context->Rip;
  DWORD64& sp = context->Rsp;
#else
  DWORD& ip = context->Eip;
  DWORD& sp = context->Esp;
#endif
  const bool at_fault = record.ExceptionAddress == reinterpret_cast<void*>(ip);
  uintptr_t slot = sp - sizeof(uintptr_t);
  uintptr_t return_address = ip + (at_fault ? 1 : 0);
#ifndef _WIN64
  // The unwinder looks up a return address less one: the faulting
  // instruction itself when its address + 1 is pushed below.
  if (!UnwinderKnows(return_address - 1)) {
    // A call to where no code is (a bad function pointer, a data page)
    // faults before the callee's first instruction: the caller's return
    // address is still on top of the stack, and the stub is "called" from there.
    return_address = *reinterpret_cast<const uintptr_t*>(sp);
    if (!at_fault || !UnwinderKnows(return_address - 1)) return false;
    slot = sp;
  }
#endif
  // The system may keep this exception's records just below the stack.
  if (Overlaps(slot, context, sizeof(CONTEXT)) || Overlaps(slot, &record, sizeof(record))) {
    return false;
  }
  fault->record = record;
  fault->record.ExceptionRecord = nullptr;
  fault->context = *context;
  fault->translating = true;
  *reinterpret_cast<uintptr_t*>(slot) = return_address;
  sp = slot;
  ip = reinterpret_cast<uintptr_t>(&ChainerResumeAfterFault);
  return true;
}
}  // namespace

void ChainerThrowPendingFault() {
  PendingFault* fault = ThreadFault();
  struct Done {
    PendingFault* fault;
    ~Done() { fault->translating = false; }
  } done{fault};
  EXCEPTION_POINTERS pointers = {&fault->record, &fault->context};
  TranslateStructuredException(fault->record.ExceptionCode, &pointers);
}

void TranslateStructuredException(uint32_t code, EXCEPTION_POINTERS* pointers) {
  if (!pointers || !pointers->ExceptionRecord) {
    throw SehException(CHAINER_WIDEN(__FILE__), __LINE__, kSehGeneric,
                       L"Unidentified SEH Exception !");
  }
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  std::wstring trace;
  CaptureStackTrace(&trace, pointers->ContextRecord, kStackTraceFrames);
  const int32_t sub_kind = SehSubKind(code, record.NumberParameters,
                                      record.ExceptionInformation[0],
                                      record.ExceptionInformation[1]);
  const std::wstring message = std::wstring(L"[") + SehKindName(sub_kind) + L"] " +
                              FaultDescription(code, reinterpret_cast<uintptr_t>(
                                                         record.ExceptionAddress)) +
                              trace;
  // The faulting frame's source, when the symbols know it: the first frame
  // line of the trace, which is what a walk of one frame would give.
  std::wstring file = CHAINER_WIDEN(__FILE__);
  int32_t line = __LINE__;
  const size_t header = wcslen(StackTraceHeader());
  if (trace.size() > header) {
    SourceOfFirstFrame(trace.substr(header, trace.find(L"\r\n", header) - header), &file, &line);
  }
  throw SehException(file, line, sub_kind, message);
}

LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
  if (record) {
    // A C++ throw that nobody catches, on x64: __cxa_throw goes on to std::terminate.
    if (IsGccException(record->ExceptionCode)) return EXCEPTION_CONTINUE_EXECUTION;
    if (ResumeInTranslator(pointers)) return EXCEPTION_CONTINUE_EXECUTION;
  }
  std::wstring details = UnhandledPrefix();
  if (record) {
    details += FormatW(L"(0x%.8x) at address [0x%.8Ix]\r\n", record->ExceptionCode,
                       reinterpret_cast<uintptr_t>(record->ExceptionAddress));
  }
  CaptureStackTrace(&details, pointers ? pointers->ContextRecord : nullptr, kStackTraceFrames);
  EndAfterCrash(details);
}

void InstallLastResortHandling() {
  static const bool installed = [] {
    g_fault_slot = TlsAlloc();
    SetUnhandledExceptionFilter(&TopLevelExceptionFilter);
    std::set_terminate(&OnTerminate);
    return true;
  }();
  (void)installed;
}

ScopedExceptionTranslator::ScopedExceptionTranslator() {
  InstallLastResortHandling();
  if (g_fault_slot != TLS_OUT_OF_INDEXES) TlsSetValue(g_fault_slot, &fault_);
}

ScopedExceptionTranslator::~ScopedExceptionTranslator() {
  if (g_fault_slot != TLS_OUT_OF_INDEXES) TlsSetValue(g_fault_slot, nullptr);
}

void SetCrashCleanup(void (*cleanup)(void* context), void* context) {
  g_cleanup = cleanup;
  g_cleanup_context = context;
}

const CONTEXT* CurrentFaultContext() {
  const PendingFault* fault = ThreadFault();
  return fault && fault->record.ExceptionCode ? &fault->context : nullptr;
}
