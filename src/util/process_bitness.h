// The bitness of this program. The same sources build a 32-bit and a 64-bit
// program, and the 64-bit one has to see the system as the 32-bit one does:
// every place that differs asks here rather than forking the source.
#pragma once

constexpr bool kProcessIs64Bit = sizeof(void*) == 8;

// A 64-bit process runs only on 64-bit Windows and is never under WOW64; a
// 32-bit process is on 64-bit Windows exactly when it runs under WOW64.
constexpr bool WindowsIs64Bit(bool process_is_64bit, bool runs_under_wow64) {
  return process_is_64bit || runs_under_wow64;
}
