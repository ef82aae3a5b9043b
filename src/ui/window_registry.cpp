#include "ui/window_registry.h"

#include <algorithm>
#include <vector>

namespace {
HINSTANCE g_instance = nullptr;
CRITICAL_SECTION g_lock;
bool g_initialized = false;
std::vector<HWND>* g_windows = nullptr;
}  // namespace

namespace WindowRegistry {
void Initialize(HINSTANCE instance) {
  g_instance = instance;
  InitializeCriticalSection(&g_lock);
  g_windows = new std::vector<HWND>();
  g_initialized = true;
}

HINSTANCE Instance() {
  return g_instance ? g_instance : GetModuleHandleW(nullptr);
}

void Add(HWND window) {
  if (!g_initialized) return;
  EnterCriticalSection(&g_lock);
  g_windows->push_back(window);
  LeaveCriticalSection(&g_lock);
}

void Remove(HWND window) {
  if (!g_initialized) return;
  EnterCriticalSection(&g_lock);
  g_windows->erase(std::remove(g_windows->begin(), g_windows->end(), window), g_windows->end());
  LeaveCriticalSection(&g_lock);
}

void DestroyFirstAndRelease() {
  if (!g_initialized) return;
  EnterCriticalSection(&g_lock);
  if (!g_windows->empty()) DestroyWindow(g_windows->front());
  LeaveCriticalSection(&g_lock);
  g_initialized = false;
  delete g_windows;
  g_windows = nullptr;
  DeleteCriticalSection(&g_lock);
}
}  // namespace WindowRegistry
