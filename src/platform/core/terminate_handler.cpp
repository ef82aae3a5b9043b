// The C++ runtime's default end for an exception that nobody catches writes the
// exception's type to stderr, demangled, then aborts. Its demangler alone is
// 45 KiB of the program, and a GUI program has no stderr to write to. Defined
// here, in an object the program always links, this handler is found before
// the library's. It only ends the program when an exception escapes before
// InstallLastResortHandling (platform/core/exception_handling.cpp) has set the
// crash report's handler, which replaces it from then on. The unit tests keep
// the library's, whose text shows up in their output.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
