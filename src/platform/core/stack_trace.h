// Stack traces for the error report, through dbghelp, which is loaded from the
// system folder by its full path (a dbghelp.dll beside the program must not
// be the one that runs).
#pragma once
#include <windows.h>

#include <string>

// Frames a fault's trace shows at most.
constexpr int kStackTraceFrames = 200;

// Appends the trace of the thread whose processor state `context` holds:
// header, up to `limit` frames (innermost first; the more-frames line after
// frame number `limit`), the executable's load address. Appends nothing
// without a context or when dbghelp cannot be set up. `context` is not
// changed. Serialised process-wide: dbghelp is single-threaded.
void CaptureStackTrace(std::wstring* out, const CONTEXT* context, int limit);
