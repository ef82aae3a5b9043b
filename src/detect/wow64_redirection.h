// Turning the WOW64 file-system redirection off for a scope, so that a 32-bit
// process sees the 64-bit System32. The functions exist only on 64-bit
// Windows (XP x64 onwards) and are looked up at run time.
#pragma once
#include <windows.h>

// Turns redirection off for the calling thread when asked and the system
// has it; the destructor restores the previous state on every path out.
class FsRedirectionOff {
 public:
  explicit FsRedirectionOff(bool turn_off);
  ~FsRedirectionOff();
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

  // True while redirection is off because of this object.
  bool active() const { return active_; }

 private:
  void* old_value_ = nullptr;
  bool active_ = false;
};
