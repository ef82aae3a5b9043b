#include "author_files.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "archive/bundle_index.h"
#include "download/digests.h"
#include "utf8_text.h"

bool HashLines(const std::string& path, std::string* lines, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  StreamDigest digest;
  digest.Start(kDigestMd5 | kDigestSha256);
  std::unique_ptr<char[]> buffer(new char[1 << 16]);
  size_t n = 0;
  while ((n = std::fread(buffer.get(), 1, 1 << 16, file)) > 0) digest.Update(buffer.get(), n);
  const uint64_t size = digest.size();
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "cannot read " + path;
    return false;
  }
  if (size == 0 || size > 0xFFFFFFFFull) {
    *error = path + (size == 0 ? " is empty: an empty download never matches"
                               : " is 4 GiB or larger: ExactSize holds 32 bits");
    return false;
  }
  const FileDigests digests = digest.Digests();
  *lines = "ExactSize=" + std::to_string(size) + "\nSHA256=" + digests.sha256 +
           "\nMD5=" + digests.md5 + "\n";
  return true;
}

bool ConvertToIni(const std::string& in, const std::string& out, std::string* error) {
  FILE* file = std::fopen(in.c_str(), "rb");
  if (!file) {
    *error = "cannot read " + in;
    return false;
  }
  std::string bytes;
  char chunk[4096];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  std::fclose(file);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text;
  if (!FromUtf8(bytes, &text)) {
    *error = in + " is not UTF-8 text";
    return false;
  }
  std::wstring lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    if (text[i] == L'\n') lines += L'\r';
    lines += text[i];
  }
  std::vector<uint16_t> units = ToUtf16(lines);
  std::string data = "\xFF\xFE";
  for (uint16_t unit : units) {
    data.push_back(static_cast<char>(unit & 0xFF));
    data.push_back(static_cast<char>(unit >> 8));
  }
  FILE* target = std::fopen(out.c_str(), "wb");
  bool ok = target && std::fwrite(data.data(), 1, data.size(), target) == data.size();
  if (target && std::fclose(target) != 0) ok = false;
  if (!ok) {
    std::remove(out.c_str());
    *error = "cannot write " + out;
  }
  return ok;
}
