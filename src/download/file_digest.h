// The MD5 digest a downloaded file is checked against, and the %XX decoding
// of the user name and password given in a URL.
#pragma once
#include <string>

// Lowercase hexadecimal MD5 of the file's bytes (32 characters and a zero).
// False, with an empty text, for a file that cannot be opened or is empty:
// an empty download never matches a digest.
bool ComputeFileMd5(const std::wstring& path, char digest[33]);

// The digest text of bytes already in memory (same form as above).
std::string Md5Text(const void* data, size_t size);

// Replaces each %XX (two hexadecimal digits, either case) with the one
// character of that code (0-255, no UTF-8 decoding); a "%" not followed by
// two such digits stays as it is.
std::wstring PercentDecode(const std::wstring& text);
