#include "download/file_digest.h"

#include <windows.h>

#include <memory>
#include <new>

#include "util/path_text.h"
#include "util/unique_handle.h"

extern "C" {
#include "Md5.h"
}

namespace {
constexpr DWORD kReadBlock = 65536;

void WriteDigestText(CMd5* md5, char digest[33]) {
  static const char kHex[] = "0123456789abcdef";
  Byte bytes[MD5_DIGEST_SIZE];
  Md5_Final(md5, bytes);
  for (size_t i = 0; i < MD5_DIGEST_SIZE; ++i) {
    digest[2 * i] = kHex[bytes[i] >> 4];
    digest[2 * i + 1] = kHex[bytes[i] & 15];
  }
  digest[32] = '\0';
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}
}  // namespace

bool ComputeFileMd5(const std::wstring& path, char digest[33]) {
  digest[0] = '\0';
  UniqueFile file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  // The whole 64-bit size: files of 4 GiB and more hash completely.
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  std::unique_ptr<Byte[]> buffer(new (std::nothrow) Byte[kReadBlock]);
  if (!buffer) return false;
  CMd5 md5;
  Md5_Init(&md5);
  // Bytes appended while the file is read are not hashed: the digest is of
  // the size taken first. A failed read ends with what was read so far.
  uint64_t left = static_cast<uint64_t>(size.QuadPart);
  while (left != 0) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.get(), kReadBlock, &read, nullptr) || read == 0) break;
    const size_t used = read < left ? read : static_cast<size_t>(left);
    Md5_Update(&md5, buffer.get(), used);
    left -= used;
  }
  WriteDigestText(&md5, digest);
  return true;
}

std::string Md5Text(const void* data, size_t size) {
  CMd5 md5;
  Md5_Init(&md5);
  Md5_Update(&md5, static_cast<const Byte*>(data), size);
  char digest[33];
  WriteDigestText(&md5, digest);
  return digest;
}

std::wstring PercentDecode(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == L'%' && i + 2 < text.size();
    const int high = escape ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<wchar_t>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}
