#include "util/critical_section.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) == 4 * sizeof(void*) + 8, "storage_ holds one");

CriticalSection::CriticalSection() {
  InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

CriticalSection::~CriticalSection() {
  DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void CriticalSection::lock() {
  EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

void CriticalSection::unlock() {
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
