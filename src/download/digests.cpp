#include "download/digests.h"

namespace {
std::string HexText(const Byte* bytes, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string text(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kHex[bytes[i] >> 4];
    text[2 * i + 1] = kHex[bytes[i] & 15];
  }
  return text;
}

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}
}  // namespace

void StreamDigest::Start(uint32_t kinds) {
  // The SDK picks its hardware or table code for SHA-256 once per process;
  // doing it again is harmless.
  static const bool prepared = (Sha256Prepare(), true);
  (void)prepared;
  kinds_ = kinds;
  size_ = 0;
  Md5_Init(&md5_);
  Sha256_Init(&sha256_);
}

void StreamDigest::Update(const void* data, size_t size) {
  const Byte* bytes = static_cast<const Byte*>(data);
  if (kinds_ & kDigestMd5) Md5_Update(&md5_, bytes, size);
  if (kinds_ & kDigestSha256) Sha256_Update(&sha256_, bytes, size);
  size_ += size;
}

FileDigests StreamDigest::Digests() const {
  FileDigests out;
  if (kinds_ & kDigestMd5) {
    CMd5 md5 = md5_;
    Byte bytes[MD5_DIGEST_SIZE];
    Md5_Final(&md5, bytes);
    out.md5 = HexText(bytes, sizeof(bytes));
  }
  if (kinds_ & kDigestSha256) {
    CSha256 sha256 = sha256_;
    Byte bytes[SHA256_DIGEST_SIZE];
    Sha256_Final(&sha256, bytes);
    out.sha256 = HexText(bytes, sizeof(bytes));
  }
  return out;
}

bool IsSha256Text(const std::wstring& text) {
  if (text.size() != 64) return false;
  for (wchar_t c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}
