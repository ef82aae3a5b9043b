// The two small files an author makes beside the bundle: the size and digest
// lines of a download, and the configuration in the chainer's encoding.
#pragma once
#include <string>

// "ExactSize=<bytes>", "SHA256=<64 lowercase hex digits>" and
// "MD5=<32 lowercase hex digits>" lines for the file, as the chainer compares them. False with a message for a file that cannot
// be read, is empty (an empty download never matches) or does not fit the
// chainer's 32-bit size.
bool HashLines(const std::string& path, std::string* lines, std::string* error);

// Writes out as UTF-16LE with the byte-order mark and CR LF line ends from a
// UTF-8 text (LF or CR LF lines, with or without a UTF-8 byte-order mark).
// False with a message when in is not UTF-8 or a file cannot be read or written.
bool ConvertToIni(const std::string& in, const std::string& out, std::string* error);
