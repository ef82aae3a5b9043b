#include "download/restricted_security.h"

// sddl.h needs windows.h first.
#include <sddl.h>

RestrictedSecurity::RestrictedSecurity() {
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;;GA;;;WD)(A;;GA;;;SY)", SDDL_REVISION_1, &descriptor_, nullptr)) {
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  } else {
    descriptor_ = nullptr;
  }
}

RestrictedSecurity::~RestrictedSecurity() {
  if (descriptor_ != nullptr) LocalFree(descriptor_);
}
