// Runs the program from a fresh folder of its own. Windows looks for many
// DLLs beside the program first (the dependencies of system DLLs among them),
// and a downloaded setup.exe often sits in a Downloads folder full of other
// files: the copy's folder holds nothing but the copy. The program imports
// only kernel32 and msvcrt at start, so that nothing else is searched for
// before this decision.
#pragma once
#include <cstdint>
#include <string>

struct ProgramStart {
  bool relaunched = false;    // the copy ran and has ended: exit with exit_code
  uint32_t exit_code = 0;
  std::wstring program_path;  // the executable the user started
  std::wstring note;          // one line for the log, or empty
};

// Call first, before anything loads a DLL. In the first process: makes the
// folder (full control for this user, SYSTEM and the Administrators, nobody
// else), copies the program's image there without the bundle after it, runs
// the copy with the same command line and the switch naming the original,
// waits, and removes the folder. When any step fails the program goes on in
// place and note says why. In the copy: believes the switch only when the
// file it names starts with this very image.
ProgramStart StartFromCleanRoom();
