#include "detect/compare_reference.h"

#include <gtest/gtest.h>

namespace {

TEST(CompareReferenceTest, EveryLetter) {
  const struct {
    const wchar_t* value;
    const wchar_t* ref_content;
    bool expected;
  } cases[] = {
      {L"10.0.19041", L"S10.", true},
      {L"110.0", L"S10.", false},
      {L"ab", L"Sabc", false},  // reference longer than the value
      {L"anything", L"S", true},
      {L"Setup.exe", L"E.exe", true},
      {L"Setup.EXE", L"E.exe", false},  // case-sensitive
      {L"xe", L"E.exe", false},
      {L"hello world", L"Clo w", true},
      {L"hello", L"CHello", false},
      {L"hello", L"C", false},  // "contains nothing" is not a match
      {L"hello", L"Xlo", false},
      {L"hello", L"Xz", true},
      {L"hello", L"X", true},  // unlike C, an empty reference holds
      {L"abc", L"Mabc", true},
      {L"abc", L"MABC", false},
      {L"", L"M", true},
      {L"abc", L"Dabc", false},
      {L"abc", L"Dab", true},
      {L"12", L"G5", true},
      {L"12a", L"G5", false},  // non-digit in the value
      {L"12", L"G5a", false},  // non-digit in the reference
      {L"-3", L"L5", false},   // a sign is not a digit
      {L"5", L"G5", false},
      {L"4", L"L5", true},
      {L"", L"L1", true},  // empty counts as 0
      {L"1", L"G", true},
      {L"", L"G", false},
      {L"0010", L"G9", true},  // leading zeros do not make it text order
      {L"100000000000000000000", L"G99999999999999999999", true},  // no wrap-around
      {L"4294967296", L"L1", false},
      {L"abc", L"abc", false},   // unknown letter
      {L"abc", L"mabc", false},  // letters are case-sensitive too
      {L"abc", L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, CompareReference(c.value, c.ref_content))
        << "value '" << c.value << "' ref '" << c.ref_content << "'";
  }
}

}  // namespace
