// The digests a downloaded file is checked against, read from the disk, and
// the %XX decoding of the user name and password given in a URL.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "download/digests.h"

// The chosen digests (kDigestMd5, kDigestSha256) of the file's bytes, in one
// pass. False, with nothing written, for a file that cannot be opened or
// read or is empty: an empty download never matches a digest.
bool ComputeFileDigests(const std::wstring& path, uint32_t kinds, FileDigests* out);

// Lowercase hexadecimal MD5 of the file's bytes (32 characters and a zero);
// false, with an empty text, as above.
bool ComputeFileMd5(const std::wstring& path, char digest[33]);

// Adds the first `bytes` bytes of an open file to digest, read from its
// start; the file pointer is left after them. False when the file ends
// sooner or cannot be read: the digest then holds no exact prefix.
bool HashFileHead(HANDLE file, uint64_t bytes, StreamDigest* digest);

// The digest text of bytes already in memory (same form as above).
std::string Md5Text(const void* data, size_t size);

// Replaces each %XX (two hexadecimal digits, either case) with the one
// character of that code (0-255, no UTF-8 decoding); a "%" not followed by
// two such digits stays as it is.
std::wstring PercentDecode(const std::wstring& text);
