#include "download/file_digest.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "util/path_text.h"
#include "util/unique_handle.h"

namespace {
constexpr DWORD kReadBlock = 65536;

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}
}  // namespace

bool HashFileHead(HANDLE file, uint64_t bytes, StreamDigest* digest) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  std::unique_ptr<Byte[]> buffer(new (std::nothrow) Byte[kReadBlock]);
  if (!buffer) return false;
  uint64_t left = bytes;
  while (left != 0) {
    const DWORD ask = left < kReadBlock ? static_cast<DWORD>(left) : kReadBlock;
    DWORD read = 0;
    if (!ReadFile(file, buffer.get(), ask, &read, nullptr) || read == 0) return false;
    digest->Update(buffer.get(), read);
    left -= read;
  }
  return true;
}

bool ComputeFileDigests(const std::wstring& path, uint32_t kinds, FileDigests* out) {
  UniqueFile file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  // The whole 64-bit size: files of 4 GiB and more hash completely. Bytes
  // appended while the file is read are not hashed: the digest is of the
  // size taken first.
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  StreamDigest digest;
  digest.Start(kinds);
  if (!HashFileHead(file.get(), static_cast<uint64_t>(size.QuadPart), &digest)) return false;
  *out = digest.Digests();
  return true;
}

bool ComputeFileMd5(const std::wstring& path, char digest[33]) {
  digest[0] = '\0';
  FileDigests digests;
  if (!ComputeFileDigests(path, kDigestMd5, &digests)) return false;
  std::memcpy(digest, digests.md5.c_str(), 33);
  return true;
}

std::string Md5Text(const void* data, size_t size) {
  StreamDigest digest;
  digest.Start(kDigestMd5);
  digest.Update(data, size);
  return digest.Digests().md5;
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
