#include "download/file_acceptance.h"

namespace {
// Whether configured starts with the computed digest, its letters A to F
// taken as lowercase.
bool StartsWithDigest(const std::wstring& configured, const std::string& computed) {
  if (configured.size() < computed.size()) return false;
  for (size_t i = 0; i < computed.size(); ++i) {
    wchar_t c = configured[i];
    if (c >= L'A' && c <= L'F') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != static_cast<wchar_t>(computed[i])) return false;
  }
  return true;
}

// One check of the acceptance: kNone when the file passes it.
using AcceptanceCheck = Rejection (*)(const FileRequirements&, const FileFacts&);

Rejection CheckConfiguredValues(const FileRequirements& required, const FileFacts&) {
  // Skipping the check would launch any file: a value that no file can match
  // rejects every one, and says so.
  return required.sha256.empty() || IsSha256Text(required.sha256) ? Rejection::kNone
                                                                   : Rejection::kSha256Malformed;
}

Rejection CheckSize(const FileRequirements& required, const FileFacts& facts) {
  return required.exact_size == 0 || facts.size == required.exact_size ? Rejection::kNone
                                                                        : Rejection::kSize;
}

Rejection CheckMd5(const FileRequirements& required, const FileFacts& facts) {
  if (required.md5.empty()) return Rejection::kNone;
  return facts.size != 0 && DigestMatches(facts.digests.md5, required.md5) ? Rejection::kNone
                                                                           : Rejection::kMd5;
}

Rejection CheckSha256(const FileRequirements& required, const FileFacts& facts) {
  if (required.sha256.empty()) return Rejection::kNone;
  const std::string& computed = facts.digests.sha256;
  const bool same = facts.size != 0 && computed.size() == 64 &&
                    required.sha256.size() == 64 && StartsWithDigest(required.sha256, computed);
  return same ? Rejection::kNone : Rejection::kSha256;
}

const AcceptanceCheck kAcceptanceChecks[] = {CheckConfiguredValues, CheckSize, CheckMd5,
                                             CheckSha256};
}  // namespace

uint32_t DigestKindsFor(const FileRequirements& required) {
  return (required.md5.empty() ? 0 : kDigestMd5) |
         (IsSha256Text(required.sha256) ? kDigestSha256 : 0);
}

Rejection JudgeFile(const FileRequirements& required, const FileFacts& facts) {
  for (AcceptanceCheck check : kAcceptanceChecks) {
    const Rejection rejection = check(required, facts);
    if (rejection != Rejection::kNone) return rejection;
  }
  return Rejection::kNone;
}

const wchar_t* AcceptanceLogLine(Rejection rejection) {
  switch (rejection) {
    case Rejection::kNone:
      return L"Downloaded file was accepted.";
    case Rejection::kSha256Malformed:
      return L"Downloaded file was rejected.(SHA256 in the configuration is not 64 hexadecimal "
             L"digits).";
    case Rejection::kSha256:
      return L"Downloaded file was rejected.(Invalid SHA-256).";
    default:
      return L"Downloaded file was rejected.(Invalid size or MD5).";
  }
}

bool DigestMatches(const std::string& computed, const std::wstring& configured) {
  return computed.size() == 32 && StartsWithDigest(configured, computed);
}
