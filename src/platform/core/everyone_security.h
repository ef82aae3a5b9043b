// Security for folders that every user of the machine must be able to write,
// whoever created them first (the shared log folder).
#pragma once
#include <windows.h>

#include <vector>

// A security descriptor whose DACL has one entry: the account Everyone,
// GENERIC_ALL, set, not inherited. valid() is false when the account or the
// DACL cannot be made. The object owns the DACL; keep it alive while
// attributes() is in use.
class EveryoneSecurity {
 public:
  EveryoneSecurity();
  ~EveryoneSecurity();
  EveryoneSecurity(const EveryoneSecurity&) = delete;
  EveryoneSecurity& operator=(const EveryoneSecurity&) = delete;

  bool valid() const { return valid_; }
  SECURITY_ATTRIBUTES* attributes() { return valid_ ? &attributes_ : nullptr; }

 private:
  std::vector<BYTE> sid_;
  PACL acl_ = nullptr;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool valid_ = false;
};
