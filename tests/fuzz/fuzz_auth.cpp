// What an authentication request names: the realm of an authenticate header,
// the proxy host of a setting, and the server the credentials belong to.
#include "download/auth_realm.h"
#include "download/transfer_rules.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> fields = Fields(data, size);
  std::wstring realm;
  ParseAuthRealm(FieldAt(fields, 0), &realm);
  const std::wstring setting = FieldAt(fields, 1);
  const std::wstring proxy_host = ProxyHostFromSetting(setting);
  ProxyHostOf(setting);
  const std::wstring url = FieldAt(fields, 2);
  HostFromUrl(url);
  PromptHost(url, proxy_host);
  CredentialServerOf(url, false, proxy_host);
  CredentialServerOf(url, true, proxy_host);
  return 0;
}
