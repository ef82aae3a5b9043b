#include "download/signer_rules.h"

#include "util/wide_format.h"

namespace {
// WinVerifyTrust's and the certificate chain's result codes (winerror.h).
constexpr uint32_t kTrustProviderUnknown = 0x800B0001;
constexpr uint32_t kTrustSubjectFormUnknown = 0x800B0003;
constexpr uint32_t kTrustNoSignature = 0x800B0100;
constexpr uint32_t kCertExpired = 0x800B0101;
constexpr uint32_t kCertUntrustedRoot = 0x800B0109;
constexpr uint32_t kCertChaining = 0x800B010A;
constexpr uint32_t kCertRevoked = 0x800B010C;
constexpr uint32_t kCertWrongUsage = 0x800B0110;
constexpr uint32_t kTrustExplicitDistrust = 0x800B0111;
constexpr uint32_t kTrustBadDigest = 0x80096010;
constexpr uint32_t kTrustCertSignature = 0x80096004;
constexpr uint32_t kTrustNoSignerCert = 0x80096002;

// CERT_TRUST_STATUS error bits (wincrypt.h) and the result each stands for.
struct ChainBit {
  uint32_t bit;
  uint32_t result;
};
constexpr ChainBit kChainBits[] = {
    {0x00000020, kCertUntrustedRoot},      // CERT_TRUST_IS_UNTRUSTED_ROOT
    {0x00010000, kCertChaining},           // CERT_TRUST_IS_PARTIAL_CHAIN
    {0x00000080, kCertChaining},           // CERT_TRUST_IS_CYCLIC
    {0x04000000, kTrustExplicitDistrust},  // CERT_TRUST_IS_EXPLICIT_DISTRUST
    {0x00000004, kCertRevoked},            // CERT_TRUST_IS_REVOKED
    {0x00000008, kTrustCertSignature},     // CERT_TRUST_IS_NOT_SIGNATURE_VALID
    {0x00000001, kCertExpired},            // CERT_TRUST_IS_NOT_TIME_VALID
    {0x00000010, kCertWrongUsage},         // CERT_TRUST_IS_NOT_VALID_FOR_USAGE
};
// Bits that are no fault here: CERT_TRUST_REVOCATION_STATUS_UNKNOWN and
// CERT_TRUST_IS_OFFLINE_REVOCATION (no lists are fetched), and the ones on
// which Windows' own verdict has the last word: CERT_TRUST_IS_NOT_TIME_NESTED
// (obsolete) and CERT_TRUST_HAS_WEAK_SIGNATURE (its policy decides what is weak).
constexpr uint32_t kNoFault = 0x00000040 | 0x01000000 | 0x00000002 | 0x00100000;
}  // namespace

std::wstring TrustResultText(uint32_t result) {
  switch (result) {
    case kTrustProviderUnknown:
    case kTrustSubjectFormUnknown:
    case kTrustNoSignature:
      return L"the file carries no signature";
    case kTrustBadDigest:
      return L"the file was changed after it was signed";
    case kCertUntrustedRoot:
    case kCertChaining:
      return L"its certificate does not lead to a root this machine trusts";
    case kCertExpired:
      return L"its certificate has expired or is not yet valid";
    case kCertRevoked:
      return L"its certificate was revoked";
    case kTrustExplicitDistrust:
      return L"its certificate is distrusted on this machine";
    case kCertWrongUsage:
      return L"its certificate is not for code signing";
    case kTrustCertSignature:
    case kTrustNoSignerCert:
      return L"its signature or certificate is not valid";
    default:
      return FormatW(L"the signature could not be verified. Error:0x%08X", result);
  }
}

std::wstring ChainStatusText(uint32_t error_status) {
  error_status &= ~kNoFault;
  if (error_status == 0) return {};
  // The first bit of the table that is set names the fault; a bit the table
  // does not know still rejects the file.
  for (const ChainBit& entry : kChainBits) {
    if (error_status & entry.bit) return TrustResultText(entry.result);
  }
  return FormatW(L"its certificate chain is not valid. Status:0x%08X", error_status);
}
