// Starting programs: through the shell or CreateProcessW, waiting for them or
// not. Failures come back as the Windows error in *exit_code.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "util/unique_handle.h"

// Opens file with the shell ("open"), hidden when hide is set, in folder (the
// file's own folder when empty), waits for the process and reads its exit
// code. A long-path prefix is taken off first: the shell does not take it.
bool ShellExecuteAndWait(const std::wstring& file, const std::wstring& parameters,
                         const std::wstring& folder, bool hide, uint32_t* exit_code);
// CreateProcessW with the caller's environment and folder; waits and reads the
// exit code. An empty application or command line is passed as none.
bool CreateProcessAndWait(const std::wstring& application, const std::wstring& command_line,
                          uint32_t creation_flags, uint32_t* exit_code);
// Starts without waiting, elevated ("runas") when asked; batch files are then
// run through cmd.exe. Retries once without the no-UI flag and verb when the
// file type has no (complete) association. Returns the process handle when
// the shell gave one.
UniqueKernelHandle ShellLaunch(const std::wstring& file, const std::wstring& parameters,
                               const std::wstring& folder, bool elevate);
// The system's text for a Windows error; for a WinINet error (12000 to
// 12999) the system has none, and the text comes from wininet.dll's own
// message table; otherwise, or when neither has one, the number in decimal.
std::wstring SystemMessageText(uint32_t code);
