// Security attributes for a download's new ".part" file when it must not be
// readable by ordinary accounts: full access for Everyone (S-1-1-0) and
// LocalSystem (S-1-5-18) only, protected from inheritance.
#pragma once
#include <windows.h>

// Owns the descriptor; attributes() is null when it could not be built, and
// stays valid while the object lives.
class RestrictedSecurity {
 public:
  RestrictedSecurity();
  ~RestrictedSecurity();
  RestrictedSecurity(const RestrictedSecurity&) = delete;
  RestrictedSecurity& operator=(const RestrictedSecurity&) = delete;

  SECURITY_ATTRIBUTES* attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
};
