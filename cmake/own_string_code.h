// Included before every source of the program. The C++ library declares its
// std::string and std::wstring as instantiated in the library itself, so each
// use links the library's whole instantiation of the class: every member, some
// 65 KiB for the two. With this declaration gone (-1 is the library's own
// setting for that, the one its assertion mode uses) the compiler writes only
// the members the program calls, and optimises them with the program.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
