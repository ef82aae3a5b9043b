#include "download/signer_rules.h"

#include <gtest/gtest.h>

namespace {

// The chain verdict is the part Wine's WinVerifyTrust leaves to the caller:
// a bit that slips through here accepts a file no trusted root vouches for.
TEST(ChainStatusTextTest, EveryFaultRejectsAndUnknownRevocationAlonePasses) {
  const wchar_t kUntrusted[] = L"its certificate does not lead to a root this machine trusts";
  const struct {
    uint32_t status;
    const wchar_t* text;
  } cases[] = {
      {0, L""},
      // No revocation lists are fetched: their state is always unknown. What
      // counts as a weak signature is Windows' policy, which already passed it.
      {0x00000040 | 0x01000000 | 0x00100000, L""},
      {0x00000020, kUntrusted},               // untrusted root
      {0x00010000, kUntrusted},               // partial chain: no root at all
      {0x00010000 | 0x00000040, kUntrusted},  // the revocation bit does not hide it
      {0x00000080, kUntrusted},               // cyclic
      {0x00000001, L"its certificate has expired or is not yet valid"},
      {0x00000004, L"its certificate was revoked"},
      {0x04000000, L"its certificate is distrusted on this machine"},
      // A bit without words of its own still rejects.
      {0x00000200, L"its certificate chain is not valid. Status:0x00000200"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, ChainStatusText(c.status)) << std::hex << c.status;
}

}  // namespace
