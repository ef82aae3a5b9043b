// Whether a prerequisite's file may be launched: what its configuration
// requires of it, and the checks that judge it, run in order. Pure rules; the
// file's size and digests come from download/download_check.h.
#pragma once
#include <cstdint>
#include <string>

#include "download/digests.h"

// From the prerequisite's ExactSize, MD5 and SHA256 keys; 0 or empty: not
// required.
struct FileRequirements {
  uint32_t exact_size = 0;
  std::wstring md5;
  std::wstring sha256;
};

// What is known of the file: its size, and its digests where computed.
struct FileFacts {
  uint64_t size = 0;
  FileDigests digests;
};

// The first check a file failed; kNone when it is accepted.
enum class Rejection : int32_t {
  kNone = 0,
  kSha256Malformed,  // the configured SHA256 is not 64 hexadecimal digits
  kSize,
  kMd5,
  kSha256,
};

// The digests the checks compare (kDigestMd5, kDigestSha256): a malformed
// SHA256 value is rejected without one.
uint32_t DigestKindsFor(const FileRequirements& required);

// Runs the checks in order and gives the first that fails: a configured value
// that no file can match, then the size, the MD5, the SHA-256. An empty file
// or one without the digest computed never matches a digest.
Rejection JudgeFile(const FileRequirements& required, const FileFacts& facts);

// The log line that tells whether a download was accepted, and if not, why.
const wchar_t* AcceptanceLogLine(Rejection rejection);

// False for a rejection that fetching the file again cannot change.
inline bool RefetchCanHelp(Rejection rejection) {
  return rejection != Rejection::kNone && rejection != Rejection::kSha256Malformed;
}

// Whether a file's computed MD5 (32 lowercase hexadecimal characters)
// matches the configured MD5 value: its letters A to F count as lowercase,
// and only its first 32 characters are compared, so a shorter value never
// matches and a longer one matches when it starts with the digest.
bool DigestMatches(const std::string& computed, const std::wstring& configured);
