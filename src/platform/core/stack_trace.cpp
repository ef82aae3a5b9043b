#include "platform/core/stack_trace.h"

#include "platform/core/exception_text.h"
#include "util/system_library.h"

namespace {
constexpr DWORD kSymbolOptions = 0x80000016;  // undecorated names, deferred loads, lines, debug
constexpr DWORD kMaxNameLength = 2000;

struct WalkLock {
  WalkLock() { InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
};

CRITICAL_SECTION& TheWalkLock() {
  static WalkLock lock;
  return lock.section;
}

class WalkGuard {
 public:
  explicit WalkGuard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
  ~WalkGuard() { LeaveCriticalSection(&lock_); }
  WalkGuard(const WalkGuard&) = delete;
  WalkGuard& operator=(const WalkGuard&) = delete;

 private:
  CRITICAL_SECTION& lock_;
};

// The executable's folder in the ANSI code page, for the symbol search path.
void ExecutableFolder(char* folder, DWORD size) {
  DWORD length = GetModuleFileNameA(nullptr, folder, size);
  if (length >= size) length = 0;
  folder[length] = 0;
  if (char* slash = strrchr(folder, '\\')) *slash = 0;
}

void WalkFrames(const DbgHelpApi& api, HANDLE process, CONTEXT* context, int limit,
                std::wstring* out) {
  STACKFRAME64 frame = {};
#ifdef _WIN64
  const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
  frame.AddrPC.Offset = context->Rip;
  frame.AddrStack.Offset = context->Rsp;
  frame.AddrFrame.Offset = context->Rbp;
#else
  const DWORD machine = IMAGE_FILE_MACHINE_I386;
  frame.AddrPC.Offset = context->Eip;
  frame.AddrStack.Offset = context->Esp;
  frame.AddrFrame.Offset = context->Ebp;
#endif
  frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;
  alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + kMaxNameLength] = {};
  auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
  for (int number = 1; number <= limit; ++number) {
    if (!api.StackWalk64(machine, process, GetCurrentThread(), &frame, context, nullptr,
                         api.SymFunctionTableAccess64, api.SymGetModuleBase64, nullptr)) {
      break;
    }
    const DWORD64 address = frame.AddrPC.Offset;
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = kMaxNameLength;
    DWORD64 symbol_offset = 0;
    const bool named = api.SymFromAddr(process, address, &symbol_offset, symbol) != FALSE;
    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof(line);
    DWORD line_offset = 0;
    const bool sourced = api.SymGetLineFromAddr64(process, address, &line_offset, &line) != FALSE;
    *out += StackFrameLine(static_cast<uintptr_t>(address), named ? symbol->Name : nullptr,
                           sourced ? line.FileName : nullptr, static_cast<long>(line.LineNumber));
    if (number == limit) *out += kMoreFramesLine;
  }
}
}  // namespace

void CaptureStackTrace(std::wstring* out, const CONTEXT* context, int limit) {
  if (!context) return;
  WalkGuard guard(TheWalkLock());
  CONTEXT copy = *context;
  HANDLE process = GetCurrentProcess();
  const DbgHelpApi* api = DbgHelpDll();
  if (!api) return;
  api->SymSetOptions(kSymbolOptions);
  if (!api->SymInitialize(process, nullptr, TRUE)) return;
  char folder[MAX_PATH + 1];
  ExecutableFolder(folder, MAX_PATH);
  if (api->SymSetSearchPath(process, folder)) {
    *out += StackTraceHeader();
    WalkFrames(*api, process, &copy, limit, out);
    *out += ModuleBaseLine(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
  }
  api->SymCleanup(process);
}
