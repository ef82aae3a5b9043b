// COM on the calling thread for the length of a shell call: ShellExecuteEx
// may hand the work to shell extensions, which need it. Entered per call
// rather than at start, because under Wine COM's first window class starts
// the desktop process, which a run that launches no document would wait for.
// An apartment the thread already has is kept; the call only counts it. The
// shell calls inside ask for SEE_MASK_NOASYNC, so that no activation is still
// under way when the apartment ends.
#pragma once
#include <windows.h>
#include <objbase.h>

class ScopedComApartment {
 public:
  ScopedComApartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ScopedComApartment() {
    if (entered_) CoUninitialize();
  }
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  bool entered_;
};
