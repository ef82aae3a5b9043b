// The baseline: a Windows program that does nothing but start and end.
#include <windows.h>

int wmain() {
  return 0;
}
