// A 7z archive in memory through the SDK's header reader and the coder
// chain: every file listed, looked up and extracted with a password.
#include "archive/aes_7z.h"
#include "archive/seven_zip_archive.h"
#include "fuzz_input.h"

#include <cstring>

namespace {
class MemorySource : public IByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > size_ || size > size_ - offset) return false;
    std::memcpy(data, data_ + offset, size);
    return true;
  }
  uint64_t Size() const override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};
}  // namespace

// The build renames the real derivation (see CMakeLists.txt) so that this one
// runs in the chain: 2^62 rounds would stop the fuzzer on one input, and the
// count changes nothing else the chain does.
void DeriveAesKeyUncapped(const AesCoderProps& props, const std::wstring& password,
                          uint8_t key[32]);
void DeriveAesKey(const AesCoderProps& props, const std::wstring& password, uint8_t key[32]) {
  AesCoderProps capped = props;
  if (capped.cycles_power != 0x3F && capped.cycles_power > 8) capped.cycles_power = 8;
  DeriveAesKeyUncapped(capped, password, key);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  SevenZipArchive archive;
  if (archive.Open(source) != DecodeStatus::Ok) return 0;
  const uint32_t count = archive.FileCount();
  uint32_t extracted = 0;
  for (uint32_t file = 0; file < count && file < 64; ++file) {
    if (archive.IsFolder(file)) continue;
    const int32_t found = archive.Find(archive.FileName(file));
    FUZZ_CHECK(found >= 0 && static_cast<uint32_t>(found) <= file);
    if (!archive.IsSupported(file) || extracted++ == 4) continue;
    // A small input can unpack to gigabytes; a megabyte shows the chain works.
    size_t total = 0;
    archive.Extract(file, L"fuzz", [&total](const uint8_t*, size_t got) {
      total += got;
      return total < (1u << 20);
    });
  }
  return 0;
}
