#include "archive/seven_zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/aes_7z.h"
#include "archive/bundle_index.h"
#include "memory_source.h"
#include "sample_archives.h"

namespace {
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

namespace {
// The archive with the header bytes from replaced by to and its CRCs made to
// match again: what a hostile header looks like, not a damaged one.
std::vector<uint8_t> WithHeaderBytes(std::vector<uint8_t> archive, const std::vector<uint8_t>& from,
                                     const std::vector<uint8_t>& to) {
  auto le = [&archive](size_t at, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value |= uint64_t(archive[at + i]) << (8 * i);
    return value;
  };
  auto put32 = [&archive](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) archive[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  const size_t header = 32 + static_cast<size_t>(le(12, 8));
  const size_t header_size = static_cast<size_t>(le(20, 8));
  auto found = std::search(archive.begin() + header, archive.end(), from.begin(), from.end());
  EXPECT_NE(archive.end(), found) << "the sample has no such header bytes";
  if (found != archive.end()) std::copy(to.begin(), to.end(), found);
  put32(28, Crc32(archive.data() + header, header_size));
  put32(8, Crc32(archive.data() + 12, 20));
  return archive;
}
}  // namespace

// Coder properties are obeyed before a byte is decoded: 2^62 key rounds never
// end, a 4 GiB dictionary is allocated. Both are refused like any coder the
// chain cannot run, and the bundling tool (IsSupported) refuses them too.
TEST(SevenZipArchive, RefusesAesRoundsAndDictionariesBeyondTheBounds) {
  const struct {
    const std::vector<uint8_t>* sample;
    std::vector<uint8_t> from, to;
  } cases[] = {
      {&kAesArchive, {0x12, 0x53}, {0x12, 0x40 | 62}},                   // 2^62 AES rounds
      {&kAesArchive, {0x12, 0x53}, {0x12, 0x40 | 25}},                   // 2^25
      {&kAesArchive, {0x21, 0x21, 0x01, 0x03}, {0x21, 0x21, 0x01, 40}},  // LZMA2, 4 GiB - 1
      {&kAesArchive, {0x21, 0x21, 0x01, 0x03}, {0x21, 0x21, 0x01, 37}},  // LZMA2, 768 MiB
      {&kPlainArchive, {0x05, 0x5D, 0x00, 0x30, 0x00, 0x00}, {0x05, 0x5D, 0xFF, 0xFF, 0xFF, 0xFF}},
      {&kPlainArchive, {0x05, 0x5D, 0x00, 0x30, 0x00, 0x00}, {0x05, 0x5D, 0x01, 0x00, 0x00, 0x10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.to));
    const std::vector<uint8_t> hostile = WithHeaderBytes(*c.sample, c.from, c.to);
    const Outcome outcome = ExtractHello(hostile, L"secret");
    EXPECT_EQ(DecodeStatus::Unsupported, outcome.status);
    EXPECT_TRUE(outcome.bytes.empty());
    MemorySource source(hostile);
    SevenZipArchive archive;
    ASSERT_EQ(DecodeStatus::Ok, archive.Open(source));
    EXPECT_FALSE(archive.IsSupported(static_cast<uint32_t>(archive.Find(L"hello.txt"))));
  }
  // The bounds themselves still decode.
  const std::vector<uint8_t> at_bound =
      WithHeaderBytes(kPlainArchive, {0x05, 0x5D, 0x00, 0x30, 0x00, 0x00},
                      {0x05, 0x5D, 0x00, 0x00, 0x00, kMaxDictionarySize >> 24});
  EXPECT_EQ(DecodeStatus::Ok, ExtractHello(at_bound, L"").status);
}

TEST(AesCoderProps, CyclesPowerUpTo24OrTheNoHashingValue) {
  for (unsigned power : {0u, 19u, 24u, 25u, 40u, 62u, 0x3Fu}) {
    const uint8_t props[] = {static_cast<uint8_t>(0x40 | power), 0x00, 0xAB};
    AesCoderProps parsed;
    EXPECT_EQ(power <= kMaxAesCyclesPower || power == 0x3F,
              ParseAesCoderProps(props, sizeof(props), &parsed))
        << power;
  }
}
