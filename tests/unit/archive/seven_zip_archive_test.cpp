#include "archive/seven_zip_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/bundle_index.h"
#include "sample_archives.h"

namespace {
class MemorySource : public IByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    std::memcpy(data, bytes_.data() + offset, size);
    return true;
  }
  uint64_t Size() const override { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

struct Outcome {
  DecodeStatus status;
  std::vector<uint8_t> bytes;
};

Outcome ExtractHello(const std::vector<uint8_t>& archive_bytes, const std::wstring& password) {
  MemorySource source(archive_bytes);
  SevenZipArchive archive;
  Outcome outcome{archive.Open(source), {}};
  if (outcome.status != DecodeStatus::Ok) return outcome;
  const int32_t item = archive.Find(L"hello.txt");
  if (item < 0) return {DecodeStatus::Unsupported, {}};
  outcome.status =
      archive.Extract(static_cast<uint32_t>(item), password, [&](const uint8_t* data, size_t size) {
        outcome.bytes.insert(outcome.bytes.end(), data, data + size);
        return true;
      });
  return outcome;
}
}  // namespace

TEST(SevenZipArchive, DecodesLzmaWithBcjAndAesWithLzma2) {
  for (const auto* sample : {&kPlainArchive, &kAesArchive}) {
    const Outcome outcome = ExtractHello(*sample, L"secret");
    ASSERT_EQ(DecodeStatus::Ok, outcome.status);
    ASSERT_EQ(kHelloSize, outcome.bytes.size());
    EXPECT_EQ(kHelloCrc, Crc32(outcome.bytes.data(), outcome.bytes.size()));
    EXPECT_EQ(0, std::memcmp(outcome.bytes.data(), "line 0 of the sample text\n", 26));
  }
}

TEST(SevenZipArchive, WrongPasswordIsADataOrCrcErrorNotAFile) {
  for (const wchar_t* password : {L"Secret", L"", L"secret "}) {
    const Outcome outcome = ExtractHello(kAesArchive, password);
    EXPECT_TRUE(outcome.status == DecodeStatus::DataError ||
                outcome.status == DecodeStatus::CrcError)
        << static_cast<int>(outcome.status);
  }
}

// Damage anywhere, at every byte of the packed data, must end in an error
// status: never a crash, never a success with other bytes.
TEST(SevenZipArchive, EveryDamagedByteIsDetected) {
  for (const auto* sample : {&kPlainArchive, &kAesArchive}) {
    // Each AES attempt pays for the key derivation: every third byte there.
    const size_t step = sample == &kAesArchive ? 3 : 1;
    for (size_t at = 0; at < sample->size(); at += step) {
      std::vector<uint8_t> damaged = *sample;
      damaged[at] ^= 0x41;
      const Outcome outcome = ExtractHello(damaged, L"secret");
      if (outcome.status == DecodeStatus::Ok) {
        // Only bytes the decoder does not depend on (e.g. unused header
        // fields) may change without an error; the content must then be exact.
        EXPECT_EQ(kHelloCrc, Crc32(outcome.bytes.data(), outcome.bytes.size())) << at;
      }
    }
  }
}

TEST(SevenZipArchive, TruncatedArchiveFailsAtEveryLength) {
  for (size_t cut = 0; cut < kPlainArchive.size(); ++cut) {
    const std::vector<uint8_t> truncated(kPlainArchive.begin(), kPlainArchive.begin() + cut);
    EXPECT_NE(DecodeStatus::Ok, ExtractHello(truncated, L"").status) << cut;
  }
}

TEST(SevenZipArchive, ConsumerRefusalStopsWithWriteError) {
  MemorySource source(kPlainArchive);
  SevenZipArchive archive;
  ASSERT_EQ(DecodeStatus::Ok, archive.Open(source));
  EXPECT_EQ(-1, archive.Find(L"missing.txt"));
  const int32_t item = archive.Find(L"hello.txt");
  ASSERT_GE(item, 0);
  EXPECT_TRUE(archive.IsSupported(static_cast<uint32_t>(item)));
  EXPECT_EQ(kHelloSize, archive.FileSize(static_cast<uint32_t>(item)));
  EXPECT_EQ(DecodeStatus::WriteError,
            archive.Extract(static_cast<uint32_t>(item), L"",
                            [](const uint8_t*, size_t) { return false; }));
}
