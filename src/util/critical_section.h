// A Win32 critical section, for std::lock_guard. std::mutex would do the same,
// but its failure path links in the C++ runtime's std::system_error and its
// message tables; a critical section cannot fail to be entered (since Windows
// XP). Declared without <windows.h>, for headers the pure code includes.
#pragma once

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // The names std::lock_guard calls. Re-entrant on the same thread.
  void lock();
  void unlock();

 private:
  // CRITICAL_SECTION itself: 24 bytes on 32-bit Windows, 40 on 64-bit.
  alignas(void*) unsigned char storage_[4 * sizeof(void*) + 8];
};
