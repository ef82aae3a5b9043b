#include "platform/core/exception_text.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {
struct CodeName {
  uint32_t code;
  const char* name;
};
constexpr CodeName kCodeNames[] = {
    {0x80000001u, "GUARD_PAGE"},
    {0x80000002u, "DATATYPE_MISALIGNMENT"},
    {0x80000003u, "BREAKPOINT"},
    {0x80000004u, "SINGLE_STEP"},
    {0xC0000005u, "ACCESS_VIOLATION"},
    {0xC0000006u, "IN_PAGE_ERROR"},
    {0xC0000008u, "INVALID_HANDLE"},
    {0xC000001Du, "ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "INVALID_DISPOSITION"},
    {0xC000008Cu, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "FLT_INEXACT_RESULT"},
    {0xC0000090u, "FLT_INVALID_OPERATION"},
    {0xC0000091u, "FLT_OVERFLOW"},
    {0xC0000092u, "FLT_STACK_CHECK"},
    {0xC0000093u, "FLT_UNDERFLOW"},
    {0xC0000094u, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "INT_OVERFLOW"},
    {0xC0000096u, "PRIV_INSTRUCTION"},
    {0xC00000FDu, "STACK_OVERFLOW"},
};

const wchar_t* const kKindNames[] = {
    L"EXCEPTION_STD",   L"EXCEPTION_UNHANDLED", L"EXCEPTION_GENERIC",
    L"EXCEPTION_WIN32", L"EXCEPTION_CMD",       L"EXCEPTION_XML_PARSE",
    L"EXCEPTION_ERROR_SIGNALING", L"EXCEPTION_SEH"};
const wchar_t* const kSehKindNames[] = {
    L"SEH_GENERIC",          L"SEH_AV_READ_NULLPTR", L"SEH_AV_READ_BADPTR",
    L"SEH_AV_WRITE_NULLPTR", L"SEH_AV_WRITE_BADPTR", L"SEH_AV_DEP_NULLPTR",
    L"SEH_AV_DEP_BADPTR"};

constexpr uint32_t kAccessViolation = 0xC0000005u;

// printf with the runtime's "%Ix" and "%hs"; these lines are short.
std::wstring Format(const wchar_t* format, ...) {
  wchar_t buffer[1025];
  va_list args;
  va_start(args, format);
  int written = _vsnwprintf(buffer, 1024, format, args);
  va_end(args);
  buffer[1024] = 0;
  return std::wstring(buffer, written < 0 ? wcslen(buffer) : static_cast<size_t>(written));
}

std::wstring TrimLineBreaks(const std::wstring& text) {
  const wchar_t* blanks = L" \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
}  // namespace

const wchar_t* ExceptionKindName(int32_t kind) {
  return kind >= 0 && kind < 8 ? kKindNames[kind] : L"Exception ???";
}

const wchar_t* SehKindName(int32_t sub_kind) {
  return sub_kind >= 0 && sub_kind < 7 ? kSehKindNames[sub_kind] : kSehKindNames[0];
}

const char* SehCodeName(uint32_t code) {
  for (const CodeName& entry : kCodeNames) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}

int32_t SehSubKind(uint32_t code, size_t parameter_count, uintptr_t access, uintptr_t address) {
  if (code != kAccessViolation || parameter_count < 2) return kSehGeneric;
  const bool null = address == 0;
  switch (access) {
    case 0: return null ? kSehAvReadNull : kSehAvReadBad;
    case 1: return null ? kSehAvWriteNull : kSehAvWriteBad;
    case 8: return null ? kSehAvDepNull : kSehAvDepBad;
  }
  return kSehGeneric;
}

std::wstring FaultDescription(uint32_t code, uintptr_t address) {
  if (const char* name = SehCodeName(code)) {
    return Format(L"%hs (0x%.8x) at address [0x%.8Ix]\r\n", name, code, address);
  }
  return Format(L"Unknown SEH Exception (0x%.8x) at address [0x%.8Ix]\r\n", code, address);
}

const wchar_t* StackTraceHeader() {
#ifdef _WIN64
  return L"\r\n*** Stack Trace (x64) ***\r\n\r\n";
#else
  return L"\r\n*** Stack Trace (x86) ***\r\n\r\n";
#endif
}

const wchar_t kMoreFramesLine[] = L"<--------------------MORE--FRAMES-------------------->\r\n";

std::wstring StackFrameLine(uintptr_t address, const char* symbol, const char* file, long line) {
  std::wstring text = Format(L"[0x%.8Ix]  ", address);
  text += symbol ? Format(L"%hs()", symbol) : L"-----";
  if (file) {
    // MinGW's debug information names files with forward slashes.
    const char* name = file;
    for (const char* p = file; *p; ++p) {
      if (*p == '\\' || *p == '/') name = p + 1;
    }
    text += L" -> " + Format(L"%hs:%ld", name, line);
  }
  return text + L"\r\n";
}

std::wstring ModuleBaseLine(uintptr_t base) {
  return Format(L"[0x%.8Ix]  MODULE_BASE_ADDRESS\r\n", base);
}

bool SourceOfFirstFrame(const std::wstring& trace, std::wstring* file, int32_t* line) {
  const size_t arrow = trace.find(L" -> ");
  if (arrow == std::wstring::npos) return false;
  const size_t start = arrow + 4;
  const size_t end = trace.find_first_of(L"\r\n", start);
  const std::wstring source = trace.substr(start, end == std::wstring::npos ? end : end - start);
  const size_t colon = source.find(L':');
  *file = TrimLineBreaks(source.substr(0, colon));
  *line = colon == std::wstring::npos
              ? 0
              : static_cast<int32_t>(wcstol(TrimLineBreaks(source.substr(colon + 1)).c_str(), nullptr, 10));
  return true;
}
