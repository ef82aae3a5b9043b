#include "platform/core/everyone_security.h"

#include <aclapi.h>

namespace {
// Looked up by its English name first; the name differs on localised systems,
// where the well-known SID S-1-1-0 names the same account.
bool EveryoneSid(std::vector<BYTE>* sid) {
  DWORD sid_size = SECURITY_MAX_SID_SIZE, domain_size = 64;
  std::vector<wchar_t> domain(domain_size);
  SID_NAME_USE use;
  sid->assign(sid_size, 0);
  BOOL found = LookupAccountNameW(nullptr, L"Everyone", sid->data(), &sid_size, domain.data(),
                                  &domain_size, &use);
  if (!found && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    sid->assign(sid_size, 0);
    domain.assign(domain_size, L'\0');
    found = LookupAccountNameW(nullptr, L"Everyone", sid->data(), &sid_size, domain.data(),
                               &domain_size, &use);
  }
  if (found) return true;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  sid->assign(GetSidLengthRequired(1), 0);
  if (!InitializeSid(sid->data(), &world, 1)) return false;
  *GetSidSubAuthority(sid->data(), 0) = SECURITY_WORLD_RID;
  return true;
}
}  // namespace

EveryoneSecurity::EveryoneSecurity() {
  if (!EveryoneSid(&sid_)) return;
  EXPLICIT_ACCESSW access = {};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid_.data());
  if (SetEntriesInAclW(1, &access, nullptr, &acl_) != ERROR_SUCCESS) {
    acl_ = nullptr;
    return;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_, FALSE)) {
    return;
  }
  attributes_ = {sizeof(attributes_), &descriptor_, FALSE};
  valid_ = true;
}

EveryoneSecurity::~EveryoneSecurity() {
  if (acl_) LocalFree(acl_);
}
