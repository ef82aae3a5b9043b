// What a failed signature check of a downloaded file is called in the log:
// the words after "Not signed by NAME: " for the verdicts of WinVerifyTrust
// and of the signer's certificate chain. No Windows headers: the codes are
// passed as the numbers they are.
#pragma once
#include <cstdint>
#include <string>

// The reason for a WinVerifyTrust result (or a chain policy's error) other
// than 0: no signature, a file changed after signing, an untrusted root...
// Codes without words of their own are named by their number.
std::wstring TrustResultText(uint32_t result);

// The reason the signer's chain (CERT_TRUST_STATUS.dwErrorStatus) is not
// trusted, empty when nothing is wrong with it. The revocation bits alone are
// no fault: the check fetches no revocation lists, so their state is unknown.
// Any other fault rejects, also one without words of its own.
std::wstring ChainStatusText(uint32_t error_status);
