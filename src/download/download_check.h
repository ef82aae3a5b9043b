// Whether a prerequisite's setup file is already where its download would put
// it, where a file: source lies, and whether a finished download is accepted.
#pragma once
#include <cstdint>
#include <string>

// True for a local "file://" source without looking at the disk; otherwise
// when the file the download would produce exists below download_folder, has
// exactly expected_size bytes (any size when expected_size is 0) and, when an
// md5 is configured, matches it (DigestMatches).
bool IsAlreadyDownloaded(const std::wstring& download_folder, const std::wstring& source,
                         uint32_t expected_size, const std::wstring& folder,
                         const std::wstring& md5);
// True when the source is a "file://" or "file:///" address (any letter case).
bool IsFileUrl(const std::wstring& source);
// The local path a file: source names, %XX escapes decoded: the same path
// the transfer engine copies from, so that a setup launched from its source
// and one copied from there are the same file. Empty for other sources.
std::wstring LocalPathOfFileSource(const std::wstring& source);

// Whether a file's computed digest (32 lowercase hexadecimal characters)
// matches the configured MD5 value: its letters A to F count as lowercase,
// and only its first 32 characters are compared, so a shorter value never
// matches and a longer one matches when it starts with the digest.
bool DigestMatches(const std::string& computed, const std::wstring& configured);
