#include "archive/pe_overlay.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
void Put32(std::vector<uint8_t>* d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*d)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>* d, size_t at, uint16_t v) {
  (*d)[at] = static_cast<uint8_t>(v);
  (*d)[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A header with two sections whose raw data end at 0x3000 (the second one
// listed first ends later: the order of the table must not matter). PE32+
// moves the directories 16 bytes on; the heap sizes before them and the import
// and resource directories are filled in as a linker would, so that reading
// one format with the other's offsets misses the certificate table.
std::vector<uint8_t> Image(bool pe32plus, uint32_t cert_offset = 0, uint32_t cert_size = 0) {
  std::vector<uint8_t> d(0x400, 0);
  d[0] = 'M';
  d[1] = 'Z';
  Put32(&d, 0x3C, 0x80);
  Put32(&d, 0x80, 0x00004550);
  Put16(&d, 0x84, pe32plus ? 0x8664 : 0x14C);
  Put16(&d, 0x86, 2);  // sections
  const uint16_t optional_size = pe32plus ? 0xF0 : 0xE0;
  Put16(&d, 0x94, optional_size);
  const size_t opt = 0x98;
  Put16(&d, opt, pe32plus ? 0x20B : 0x10B);
  // Heap reserve and commit, then the directory count and the directories.
  const size_t heap = pe32plus ? 88 : 80, directories = pe32plus ? 112 : 96;
  Put32(&d, opt + heap, 0x100000);
  Put32(&d, opt + heap + (pe32plus ? 8 : 4), 0x1000);
  Put32(&d, opt + directories - 4, 16);
  Put32(&d, opt + directories + 1 * 8, 0x2100);  // imports
  Put32(&d, opt + directories + 1 * 8 + 4, 0x80);
  Put32(&d, opt + directories + 2 * 8, 0x2400);  // resources
  Put32(&d, opt + directories + 2 * 8 + 4, 0x200);
  Put32(&d, opt + directories + 4 * 8, cert_offset);
  Put32(&d, opt + directories + 4 * 8 + 4, cert_size);
  const size_t table = opt + optional_size;
  Put32(&d, table + 16, 0x1000);  // .data: raw size, raw offset
  Put32(&d, table + 20, 0x2000);
  Put32(&d, table + 40 + 16, 0x1800);  // .text
  Put32(&d, table + 40 + 20, 0x400);
  return d;
}
}  // namespace

// The bundle tool takes either chainer, the 32-bit or the 64-bit one.
class PeOverlay : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Formats, PeOverlay, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Pe32Plus" : "Pe32";
                         });

TEST_P(PeOverlay, StartsAfterTheLastSectionsRawData) {
  const std::vector<uint8_t> d = Image(GetParam());
  OverlaySpan span;
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_EQ(0x3000u, span.start);
  EXPECT_EQ(0x5000u, span.end);
  EXPECT_FALSE(span.signed_file);
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x3000, &span));
  EXPECT_EQ(span.start, span.end);  // nothing after the image
}

TEST_P(PeOverlay, EndsWhereTheSignatureBegins) {
  const std::vector<uint8_t> d = Image(GetParam(), 0x4800, 0x800);
  OverlaySpan span;
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_EQ(0x3000u, span.start);
  EXPECT_EQ(0x4800u, span.end);
  EXPECT_TRUE(span.signed_file);
}

TEST_P(PeOverlay, RefusesHeadersThatPointOutsideTheFile) {
  const bool pe32plus = GetParam();
  OverlaySpan span;
  std::vector<uint8_t> d = Image(pe32plus);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x2FFF, &span));  // sections past the end
  d = Image(pe32plus, 0x4800, 0x1000);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));  // certificate past the end
  d = Image(pe32plus, 0x1000, 0x100);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));  // certificate inside the image
  d = Image(pe32plus);
  Put32(&d, 0x3C, 0xFFFFFFF0);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  d = Image(pe32plus);
  Put16(&d, 0x86, 0xFFFF);  // section table beyond the bytes read
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  d = Image(pe32plus);
  Put16(&d, 0x94, pe32plus ? 108 : 92);  // optional header ends before the directory count
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  d = Image(pe32plus);
  d[0] = 'X';
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_FALSE(FindOverlay(d.data(), 10, 0x5000, &span));
}
