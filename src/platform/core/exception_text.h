// The texts of the exception family and of stack traces: kind names, fault
// descriptions, trace lines, and the source location read back from a trace.
// No Windows headers: addresses and codes come in as plain numbers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// ExceptionKind: the kinds of the family. Only kExceptionGeneric and kExceptionSeh
// have classes; the others name what escaped the last-resort handler.
constexpr int32_t kExceptionStd = 0;
constexpr int32_t kExceptionUnhandled = 1;
constexpr int32_t kExceptionGeneric = 2;
constexpr int32_t kExceptionSeh = 7;

// SehKind: what a structured exception was.
constexpr int32_t kSehGeneric = 0;
constexpr int32_t kSehAvReadNull = 1;
constexpr int32_t kSehAvReadBad = 2;
constexpr int32_t kSehAvWriteNull = 3;
constexpr int32_t kSehAvWriteBad = 4;
constexpr int32_t kSehAvDepNull = 5;
constexpr int32_t kSehAvDepBad = 6;

// "EXCEPTION_STD" ... "EXCEPTION_SEH"; "Exception ???" outside 0 to 7.
const wchar_t* ExceptionKindName(int32_t kind);
// "SEH_GENERIC" ... "SEH_AV_DEP_BADPTR"; "SEH_GENERIC" outside 0 to 6.
const wchar_t* SehKindName(int32_t sub_kind);
// "ACCESS_VIOLATION" and the other standard codes; null for any other code.
const char* SehCodeName(uint32_t code);
// The sub-kind of a structured exception: only access violations have one,
// from their first two parameters (0 read, 1 write, 8 execution prevention;
// the inaccessible address, 0 for the null variants).
int32_t SehSubKind(uint32_t code, size_t parameter_count, uintptr_t access, uintptr_t address);
// "ACCESS_VIOLATION (0xc0000005) at address [0x...]\r\n", or "Unknown SEH
// Exception (...)" for a code not in the table; at most 1024 characters.
std::wstring FaultDescription(uint32_t code, uintptr_t address);

// Pieces of a stack trace; the header names the walk's machine.
const wchar_t* StackTraceHeader();
// "[0x%.8Ix]  name() -> file:line\r\n"; symbol null gives "-----", file null
// leaves out the source part, of whose path only the name after the last
// backslash or slash is kept.
std::wstring StackFrameLine(uintptr_t address, const char* symbol, const char* file, long line);
extern const wchar_t kMoreFramesLine[];
std::wstring ModuleBaseLine(uintptr_t base);

// The source location of the first frame of a trace: the text after the first
// " -> " up to the line end, split at its first ":" and trimmed. False (and
// nothing changed) when the trace has no source part.
bool SourceOfFirstFrame(const std::wstring& trace, std::wstring* file, int32_t* line);
