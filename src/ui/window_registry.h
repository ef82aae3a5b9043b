// Process-wide bookkeeping of the windows that the dialog threads create, so
// that the entry point can close what is still open when the run ends.
#pragma once
#include <windows.h>

namespace WindowRegistry {
void Initialize(HINSTANCE instance);
HINSTANCE Instance();
void Add(HWND window);
void Remove(HWND window);
// Destroys the first window still listed, then releases the bookkeeping.
void DestroyFirstAndRelease();
}  // namespace WindowRegistry
