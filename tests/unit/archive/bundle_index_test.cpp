#include "archive/bundle_index.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "memory_source.h"

// This test program gets the address space of a crowded 32-bit process: one
// allocation over 256 MiB fails as it would there, so that code which
// allocates what a damaged size asks for fails here too instead of quietly
// getting the memory from a 64-bit process.
void* operator new(size_t size) {
  void* block = size <= (size_t(256) << 20) ? std::malloc(size ? size : 1) : nullptr;
  if (!block) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {
BundleIndex SampleIndex() {
  BundleIndex index;
  index.archives.push_back({100, 5000, L""});
  index.archives.push_back({5100, 300, L"p\u00e4ss"});
  index.entries.push_back({L"runtime-a.exe", EntryKind::SetupFile, 0});
  index.entries.push_back({L"probe.exe", EntryKind::SearchHelper, 1});
  return index;
}

IndexStatus Parse(const std::vector<uint8_t>& bundle, uint64_t overlay, BundleIndex* out) {
  uint32_t size = 0, crc = 0;
  IndexStatus status = ParseBundleHeader(bundle.data(), bundle.size(), &size, &crc);
  if (status != IndexStatus::Ok) return status;
  if (size > bundle.size() - kBundleHeaderSize) return IndexStatus::Damaged;
  if (Crc32(bundle.data() + kBundleHeaderSize, size) != crc) return IndexStatus::Damaged;
  return ParseBundleIndex(bundle.data() + kBundleHeaderSize, size, overlay, out);
}

// Rewrites the index with a changed field and a matching CRC, as a damaged
// or hostile bundle would carry it.
std::vector<uint8_t> Reencoded(BundleIndex index) {
  return SerializeBundle(index);
}
}  // namespace

TEST(BundleIndex, RoundTripsArchivesEntriesAndPasswords) {
  const std::vector<uint8_t> bytes = SerializeBundle(SampleIndex());
  EXPECT_EQ(bytes.size(), BundleIndexSize(SampleIndex()));
  EXPECT_EQ(0, std::memcmp(bytes.data(), "CVBUNDL1", 8));
  BundleIndex read;
  ASSERT_EQ(IndexStatus::Ok, Parse(bytes, 5400, &read));
  ASSERT_EQ(2u, read.archives.size());
  EXPECT_EQ(5100u, read.archives[1].offset);
  EXPECT_EQ(300u, read.archives[1].size);
  EXPECT_EQ(L"p\u00e4ss", read.archives[1].password);
  EXPECT_EQ(L"", read.archives[0].password);
  ASSERT_EQ(2u, read.entries.size());
  EXPECT_EQ(L"probe.exe", read.entries[1].name);
  EXPECT_EQ(EntryKind::SearchHelper, read.entries[1].kind);
  EXPECT_EQ(1u, read.entries[1].archive);
}

TEST(BundleIndex, OtherDataAfterTheImageIsNoBundle) {
  std::vector<uint8_t> bytes(32, 0);
  uint32_t size = 0, crc = 0;
  EXPECT_EQ(IndexStatus::NoBundle, ParseBundleHeader(bytes.data(), bytes.size(), &size, &crc));
  EXPECT_EQ(IndexStatus::NoBundle, ParseBundleHeader(bytes.data(), 8, &size, &crc));
}

TEST(BundleIndex, EveryTruncationIsDamageNeverARead) {
  const std::vector<uint8_t> bytes = SerializeBundle(SampleIndex());
  for (size_t cut = kBundleHeaderSize; cut < bytes.size(); ++cut) {
    BundleIndex read;
    EXPECT_EQ(IndexStatus::Damaged, ParseBundleIndex(bytes.data() + kBundleHeaderSize,
                                                     cut - kBundleHeaderSize, 5400, &read))
        << cut;
  }
}

TEST(BundleIndex, FlippedByteFailsTheCrc) {
  std::vector<uint8_t> bytes = SerializeBundle(SampleIndex());
  bytes[bytes.size() - 3] ^= 1;
  BundleIndex read;
  EXPECT_EQ(IndexStatus::Damaged, Parse(bytes, 5400, &read));
}

TEST(BundleIndex, RefusesWhatWouldReachOutsideTheBundleOrTheFolder) {
  BundleIndex read;
  // An archive past the end of the overlay (a truncated file).
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(SampleIndex()), 5399, &read));
  BundleIndex wrapped = SampleIndex();
  wrapped.archives[1].offset = ~uint64_t(0) - 10;  // offset + size wraps around
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(wrapped), 5400, &read));
  BundleIndex escaping = SampleIndex();
  escaping.entries[0].name = L"..\\..\\Windows\\evil.exe";
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(escaping), 5400, &read));
  BundleIndex device = SampleIndex();
  device.entries[0].name = L"NUL.exe";
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(device), 5400, &read));
  BundleIndex no_archive = SampleIndex();
  no_archive.entries[1].archive = 2;
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(no_archive), 5400, &read));
  BundleIndex twice = SampleIndex();
  twice.entries[1].name = L"RUNTIME-A.exe";  // one file on disk for two entries
  EXPECT_EQ(IndexStatus::Damaged, Parse(Reencoded(twice), 5400, &read));
}

TEST(BundleIndex, ReadsTheIndexAtTheStartOfTheOverlay) {
  std::vector<uint8_t> overlay = SerializeBundle(SampleIndex());
  overlay.resize(5400);
  MemorySource source(overlay);
  BundleIndex read;
  ASSERT_EQ(IndexStatus::Ok, ReadBundleIndex(source, &read));
  EXPECT_EQ(2u, read.entries.size());
  MemorySource nothing(std::vector<uint8_t>(10, 0));
  EXPECT_EQ(IndexStatus::NoBundle, ReadBundleIndex(nothing, &read));
}

// A damaged header must be refused before its size is allocated: in the
// 32-bit chainer a 2 GiB buffer is an allocation failure that ends the
// process without its cleanup.
TEST(BundleIndex, AnIndexSizeBeyondTheOverlayIsDamageNotAnAllocation) {
  std::vector<uint8_t> bundle = SerializeBundle(SampleIndex());
  bundle.resize(5400);
  for (uint32_t size : {uint32_t(1) << 31, ~uint32_t(0), kMaxIndexSize}) {
    std::vector<uint8_t> damaged = bundle;
    for (int i = 0; i < 4; ++i) damaged[8 + i] = static_cast<uint8_t>(size >> (8 * i));
    MemorySource overlay(damaged);
    BundleIndex read;
    EXPECT_EQ(IndexStatus::Damaged, ReadBundleIndex(overlay, &read)) << size;
    EXPECT_TRUE(read.archives.empty());
  }
  // Sizes of 2^63 inside the index, where the fields are 64-bit.
  BundleIndex huge = SampleIndex();
  huge.archives[0].size = uint64_t(1) << 63;
  std::vector<uint8_t> bytes = SerializeBundle(huge);
  bytes.resize(5400);
  MemorySource overlay(bytes);
  BundleIndex read;
  EXPECT_EQ(IndexStatus::Damaged, ReadBundleIndex(overlay, &read));
}

TEST(BundleIndex, Crc32MatchesTheZipCheckValue) {
  const char text[] = "123456789";
  EXPECT_EQ(0xCBF43926u, Crc32(reinterpret_cast<const uint8_t*>(text), 9));
}
