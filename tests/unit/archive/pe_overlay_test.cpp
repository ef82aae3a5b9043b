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

// A PE32 header with two sections whose raw data end at 0x3000 (the second
// one listed first ends later: the order of the table must not matter).
std::vector<uint8_t> Image(uint32_t cert_offset = 0, uint32_t cert_size = 0) {
  std::vector<uint8_t> d(0x400, 0);
  d[0] = 'M';
  d[1] = 'Z';
  Put32(&d, 0x3C, 0x80);
  Put32(&d, 0x80, 0x00004550);
  Put16(&d, 0x86, 2);     // sections
  Put16(&d, 0x94, 0xE0);  // optional header size
  const size_t opt = 0x98;
  Put16(&d, opt, 0x10B);
  Put32(&d, opt + 92, 16);  // directories
  Put32(&d, opt + 96 + 4 * 8, cert_offset);
  Put32(&d, opt + 96 + 4 * 8 + 4, cert_size);
  const size_t table = opt + 0xE0;
  Put32(&d, table + 16, 0x1000);  // .data: raw size, raw offset
  Put32(&d, table + 20, 0x2000);
  Put32(&d, table + 40 + 16, 0x1800);  // .text
  Put32(&d, table + 40 + 20, 0x400);
  return d;
}
}  // namespace

TEST(PeOverlay, StartsAfterTheLastSectionsRawData) {
  const std::vector<uint8_t> d = Image();
  OverlaySpan span;
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_EQ(0x3000u, span.start);
  EXPECT_EQ(0x5000u, span.end);
  EXPECT_FALSE(span.signed_file);
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x3000, &span));
  EXPECT_EQ(span.start, span.end);  // nothing after the image
}

TEST(PeOverlay, EndsWhereTheSignatureBegins) {
  const std::vector<uint8_t> d = Image(0x4800, 0x800);
  OverlaySpan span;
  ASSERT_TRUE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_EQ(0x3000u, span.start);
  EXPECT_EQ(0x4800u, span.end);
  EXPECT_TRUE(span.signed_file);
}

TEST(PeOverlay, RefusesHeadersThatPointOutsideTheFile) {
  OverlaySpan span;
  std::vector<uint8_t> d = Image();
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x2FFF, &span));  // sections past the end
  d = Image(0x4800, 0x1000);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));  // certificate past the end
  d = Image(0x1000, 0x100);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));  // certificate inside the image
  d = Image();
  Put32(&d, 0x3C, 0xFFFFFFF0);
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  d = Image();
  Put16(&d, 0x86, 0xFFFF);  // section table beyond the bytes read
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  d = Image();
  d[0] = 'X';
  EXPECT_FALSE(FindOverlay(d.data(), d.size(), 0x5000, &span));
  EXPECT_FALSE(FindOverlay(d.data(), 10, 0x5000, &span));
}
