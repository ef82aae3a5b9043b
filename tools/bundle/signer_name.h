// The name that SignedBy= compares, read from a signed Windows executable by
// the tool itself, so that the Linux build prints it as bundle.exe does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The simple display name (the CN; failing that OU, O or the e-mail address)
// of the certificate that made the first signature of an Authenticode
// certificate table (WIN_CERTIFICATE entries), as UTF-8. False when the table
// holds no PKCS#7 signature this reader understands. Nothing is verified.
bool SignerNameOfCertificateTable(const uint8_t* table, size_t size, std::string* name);

// "SignedBy=<name>\n" for a signed executable at path; empty for any other file.
std::string SignedByLine(const std::string& path);
