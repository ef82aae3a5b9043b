#include "download/auth_realm.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseAuthRealmTest, RealmFromHeaderValues) {
  const struct {
    const wchar_t* header;
    const wchar_t* realm;
  } cases[] = {
      {L"Basic realm=\"Files\"", L"Files"},
      {L"Basic realm=Files", L"Files"},  // unquoted: the same realm
      {L"Basic REALM=\"Files\"", L"Files"},
      {L"Basic Realm=Files", L"Files"},
      {L"Basic realm=\"Test Realm\"", L"Test Realm"},
      // Blanks around the items and the "=" are not part of name or value.
      {L"Basic realm=\"x\", charset=\"UTF-8\"", L"x"},
      {L"Digest  realm=x", L"x"},
      {L"Basic  realm = \"spaced\" ", L"spaced"},
      {L"\tBasic realm=\"lead\"", L"lead"},
      // Not the first parameter.
      {L"Digest qop=\"auth\", nonce=\"abc==\", realm=\"Staff\", algorithm=MD5", L"Staff"},
      {L"Digest nonce=\"a,b\",realm=\"Staff\"", L"Staff"},
      // The first realm wins.
      {L"Basic realm=\"one\", realm=\"two\"", L"one"},
      // A comma inside the quotes belongs to the realm.
      {L"Basic realm=\"Sales, East\"", L"Sales, East"},
      {L"Basic realm=\"say \\\"hi\\\"\"", L"say \"hi\""},
      // Only one quote at each end goes.
      {L"Basic realm=\"\"double\"\"", L"\"double\""},
      {L"Basic realm=\"open", L"open"},
      {L"Basic realm=\"x\"x", L"x\"x"},
      {L"Basic realm=", L""},
      {L"Basic realm=\"\"", L""},
      // Names that merely contain "realm" are other parameters.
      {L"Basic xrealm=no, realm=yes", L"yes"},
  };
  for (const auto& c : cases) {
    std::wstring realm = L"untouched";
    EXPECT_TRUE(ParseAuthRealm(c.header, &realm)) << c.header;
    EXPECT_EQ(c.realm, realm) << c.header;
  }
}

TEST(ParseAuthRealmTest, NoRealm) {
  for (const wchar_t* header : {
           L"",
           L"Basic",  // no blank: no parameters at all
           L"realm=\"nospace\"",
           L"   ",
           L"Negotiate",
           L"Negotiate "
           L"YIIFyQYGKwYBBQUCoIIFvTCCBbmgMDAuBgkqhkiC9xIBAgIGCSqGSIb3EgECAgYKKwYBBAGCNwICHg==",
           L"Basic charset=\"UTF-8\"",
           L"Basic =realm",  // a name needs at least one character
           L"Basic realm",   // no "="
           L"Basic x=\"realm=inside\"",
       }) {
    std::wstring realm = L"untouched";
    EXPECT_FALSE(ParseAuthRealm(header, &realm)) << header;
    EXPECT_EQ(L"untouched", realm) << header;
  }
}

TEST(ProxyHostTest, TextBeforeTheFirstColon) {
  const struct {
    const wchar_t* setting;
    const wchar_t* host;
  } cases[] = {
      {L"corvpx:3128", L"corvpx"},
      {L":3128", L":3128"},  // a leading colon keeps the whole text
      {L"proxy.example.com", L"proxy.example.com"},
      {L"10.0.0.1:8080", L"10.0.0.1"},
      {L"a:b:c", L"a"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.host, ProxyHostFromSetting(c.setting)) << c.setting;
}

TEST(PromptHostTest, ProxyHostElseTheUrlsHost) {
  const struct {
    const wchar_t* url;
    const wchar_t* proxy_host;
    const wchar_t* host;
  } cases[] = {
      {L"http://files.example/dl/setup.exe", L"", L"files.example"},
      {L"https://files.example:8443/a?b=c", L"", L"files.example"},
      {L"ftp://user:pa:ss@ftp.example:21/pub/x.msi", L"", L"ftp.example"},
      {L"http://user@host.example", L"", L"host.example"},
      {L"http://host.example?q=a@b", L"", L"host.example"},  // '@' beyond the host
      {L"http://[::1]:8080/x", L"", L"[::1]"},
      {L"\\\\server\\share\\setup.exe", L"", L"server"},
      {L"http://files.example/dl/setup.exe", L"corvpx", L"corvpx"},
      {L"", L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.host, PromptHost(c.url, c.proxy_host)) << c.url << " / " << c.proxy_host;
  }
}

}  // namespace
