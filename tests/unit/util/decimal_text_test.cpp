#include "util/decimal_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// What std::to_wstring and "%.Nd" write, which the callers' texts (version
// numbers, Range headers, HTTP dates) were built with before.
TEST(DecimalW, WritesWhatToWstringWrites) {
  const int64_t values[] = {0, 7, -7, 10, 65535, 4294967295LL, INT64_MAX, INT64_MIN};
  for (int64_t value : values) EXPECT_EQ(std::to_wstring(value), DecimalW(value)) << value;
}

TEST(DecimalW, PadsWithZerosToTheLeastDigits) {
  EXPECT_EQ(L"05", DecimalW(5, 2));
  EXPECT_EQ(L"0000", DecimalW(0, 4));
  EXPECT_EQ(L"2026", DecimalW(2026, 2));
  EXPECT_EQ(L"-05", DecimalW(-5, 2));
}

}  // namespace
