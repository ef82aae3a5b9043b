#include "detect/version.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
  const wchar_t* text;
  bool ok;
  Version expected;
};

TEST(VersionTest, ParseReadsDigitRunsSeparatedByAnything) {
  const ParseCase cases[] = {
      {L"1.2.3.4", true, {{1, 2, 3, 4}}},
      {L"release 1.2-beta3", true, {{1, 2, 3, 0}}},  // letters separate like dots
      {L"v10", true, {{10, 0, 0, 0}}},
      {L"1.2.3.4.5", true, {{1, 2, 3, 4}}},  // a fifth component is ignored
      {L"", true, {{0, 0, 0, 0}}},
      {L"beta", true, {{0, 0, 0, 0}}},
      {L"007.08", true, {{7, 8, 0, 0}}},
      {L"1..2", true, {{1, 2, 0, 0}}},         // empty components are skipped, not zero
      {L"4294967295", false, {{0, 0, 0, 0}}},  // would wrap a 32-bit component
      {L"2147483647.5", true, {{2147483647u, 5, 0, 0}}},
      {L"1.2.2147483650", false, {{0, 0, 0, 0}}},      // an overflow anywhere drops all
      {L"1.2.3.4.99999999999", true, {{1, 2, 3, 4}}},  // past the fourth, not read
  };
  for (const ParseCase& c : cases) {
    Version version;
    version.components = {9, 9, 9, 9};
    EXPECT_EQ(c.ok, ParseVersion(c.text, &version)) << c.text;
    EXPECT_EQ(c.expected.components, version.components) << c.text;
  }
}

TEST(VersionTest, OverflowRuleChecksBeforeTheNextDigit) {
  // 214748364 may take one more digit even when that passes 2147483647;
  // 214748365 may not.
  Version version;
  EXPECT_TRUE(ParseVersion(L"2147483649", &version));
  EXPECT_EQ(2147483649u, version.components[0]);
  EXPECT_FALSE(ParseVersion(L"2147483650", &version));
  EXPECT_TRUE(version.IsZero());
}

TEST(VersionTest, CompareGoesComponentByComponent) {
  EXPECT_LT(VersionFromText(L"1.2"), VersionFromText(L"1.10"));  // numbers, not text
  EXPECT_GT(VersionFromText(L"2"), VersionFromText(L"1.99.99.99"));
  EXPECT_EQ(VersionFromText(L"1.2"), VersionFromText(L"1.2.0.0"));
  EXPECT_LT(VersionFromText(L"1.2.3.4"), VersionFromText(L"1.2.3.5"));
}

TEST(VersionTest, FormatDropsTrailingFillersButKeepsTwo) {
  const struct {
    Version version;
    const wchar_t* text;
  } cases[] = {
      {{{1, 2, 3, 4}}, L"1.2.3.4"},
      {{{1, 0, 0, 0}}, L"1.0"},
      {{{1, 2, 0, 0}}, L"1.2"},
      {{{1, 2, 65535, 65535}}, L"1.2"},
      {{{1, 0, 3, 0}}, L"1.0.3"},
      {{{1, 65535, 0, 0}}, L"1.65535"},  // the second is kept even when a filler
      {{{0, 0, 0, 0}}, L"0.0.0.0"},
      {{{65535, 65535, 0, 65535}}, L"0.0.0.0"},
      {{{0, 5, 0, 0}}, L"0.5"},
      {{{4000000000u, 1, 0, 0}}, L"4000000000.1"},  // unsigned, never negative
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, FormatVersion(c.version));
  EXPECT_EQ(L"6.1.7601", NormalizeVersionText(L"6.1.7601.0"));
  EXPECT_EQ(L"0.0.0.0", NormalizeVersionText(L"none"));
}

TEST(VersionTest, VersionInRange) {
  const struct {
    std::vector<std::wstring> values;
    const wchar_t* min;
    const wchar_t* max;
    bool expected;
  } cases[] = {
      {{}, L"", L"", false},           // nothing collected
      {{L"abc"}, L"", L"", true},      // no bounds: anything collected will do
      {{L"abc"}, L"1.0", L"", false},  // no digits never satisfies a bound
      {{L"1.2"}, L"1.2", L"", true},   // bounds are inclusive
      {{L"1.2.0.1"}, L"1.2", L"", true},
      {{L"1.1.9"}, L"1.2", L"", false},
      {{L"1.7"}, L"", L"1.7", true},
      {{L"1.7.0.1"}, L"", L"1.7", false},
      {{L"1.6", L"1.8"}, L"1.7", L"", true},  // any value may qualify
      {{L"1.6", L"1.8"}, L"1.7", L"1.7", false},
      {{L"0.0"}, L"", L"2.0", false},          // an all-zero value is skipped
      {{L"3.0"}, L"0.0.0.0", L"0", true},      // all-zero bounds are absent
      {{L"3.0"}, L"99999999999", L"", true},   // an overflowing bound reads as absent
      {{L"99999999999"}, L"1.0", L"", false},  // and an overflowing value as 0
      {{L"2.0", L"5.0"}, L"1.0", L"3.0", true},
      {{L"5.0", L"2.0"}, L"1.0", L"3.0", true},  // a later value still counts
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, VersionInRange(c.values, c.min, c.max))
        << (c.values.empty() ? L"(none)" : c.values[0]).c_str() << " min " << c.min << " max "
        << c.max;
  }
}

}  // namespace
