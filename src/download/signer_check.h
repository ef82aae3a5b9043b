// The SignedBy= check of a downloaded setup: a valid Authenticode signature,
// a certificate chain that ends in a root this machine trusts, and a signing
// certificate of the configured name.
#pragma once
#include <string>

// Empty when the file at path is signed by `signer` (the certificate's simple
// display name, its CN, compared without regard to case); otherwise why not,
// in words for the log. Revocation is not looked up: no network is needed.
// Where wintrust.dll or crypt32.dll cannot be loaded the file is not accepted.
std::wstring SignerFault(const std::wstring& path, const std::wstring& signer);
