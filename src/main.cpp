// Entry point of the chainer. It reads no command line: everything comes from
// the configuration file beside the executable.
#include <windows.h>

#include "core/chainer_app.h"
#include "platform/core/clean_room.h"
#include "platform/core/exception_handling.h"
#include "ui/window_registry.h"
#include "util/module_path.h"
#include "util/system_library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before the first DLL after kernel32 is loaded (every other import is
  // delayed until its first call): from here on, DLLs loaded by name come
  // from the system folder where Windows allows it.
  RestrictDllSearch();
  const ProgramStart start = StartFromCleanRoom();
  if (start.relaunched) return static_cast<int>(start.exit_code);
  SetProgramPath(start.program_path);
  // Whatever escapes, on any thread, ends in the error report and the cleanup.
  InstallLastResortHandling();
  WindowRegistry::Initialize(instance);
  int32_t exit_code = 0;
  {
    ChainerApp app;
    app.set_start_note(start.note);
    app.Run();
    exit_code = app.exit_code();
  }
  WindowRegistry::DestroyFirstAndRelease();
  return exit_code;
}
