// The image's load configuration, for one field: DependentLoadFlags. Windows
// 10 1607 and later then look for the DLLs that our own imports import in the
// system folder only, never beside the program. Older systems ignore the
// field. The structure is laid out by hand because the MinGW headers this
// program builds against name the field "Reserved1"; the build points the
// image's load-configuration directory at it (cmake/set_load_config.py).
#include <windows.h>

#include <cstddef>


#ifdef _WIN64
struct LoadConfig {
  DWORD Size;
  DWORD TimeDateStamp;
  WORD MajorVersion, MinorVersion;
  DWORD GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout;
  ULONGLONG DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold, LockPrefixTable;
  ULONGLONG MaximumAllocationSize, VirtualMemoryThreshold, ProcessAffinityMask;
  DWORD ProcessHeapFlags;
  WORD CSDVersion, DependentLoadFlags;
  ULONGLONG EditList, SecurityCookie, SEHandlerTable, SEHandlerCount;
};
static_assert(offsetof(LoadConfig, DependentLoadFlags) == 0x4E, "x64 layout");
#else
// Ends before the safe-exception-handler table: Windows XP accepts an x86
// load configuration only when its size is 64 bytes, and without a handler
// table every handler stays allowed, as without a load configuration.
struct LoadConfig {
  DWORD Size;
  DWORD TimeDateStamp;
  WORD MajorVersion, MinorVersion;
  DWORD GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout;
  DWORD DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold, LockPrefixTable;
  DWORD MaximumAllocationSize, VirtualMemoryThreshold, ProcessHeapFlags, ProcessAffinityMask;
  WORD CSDVersion, DependentLoadFlags;
  DWORD EditList, SecurityCookie;
};
static_assert(sizeof(LoadConfig) == 64, "x86 size Windows XP requires");
static_assert(offsetof(LoadConfig, DependentLoadFlags) == 0x36, "x86 layout");
#endif

namespace {
constexpr WORD kLoadLibrarySearchSystem32 = 0x0800;

// Evaluated by the compiler: the loader reads the structure before any of
// the program's code runs.
constexpr LoadConfig MakeLoadConfig() {
  LoadConfig config = {};
  config.Size = sizeof(LoadConfig);
  config.DependentLoadFlags = kLoadLibrarySearchSystem32;
  return config;
}
}  // namespace

// The name the linker map gives the build; kept by -Wl,--undefined.
extern "C" const LoadConfig _load_config_used;
extern "C" constexpr LoadConfig _load_config_used = MakeLoadConfig();
