// needs_file NAME: a stand-in setup that needs a file beside itself; exits 0
// when NAME is in the folder it was started from, 2 when it is not.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  return GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES ? 2 : 0;
}
