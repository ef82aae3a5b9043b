// The extraction dialog's decisions: texts per mode, the bar's per cent and
// the path line that has to fit its control.
#include "ui/extraction_text.h"

#include <gtest/gtest.h>

#include "core/stable_numbers.h"

TEST(ExtractionText, UnpackModeHasNoStatusLineAndItsOwnFormat) {
  EXPECT_EQ(ExtractionTextsFor(true).status_id, 0u);
  EXPECT_EQ(ExtractionTextsFor(true).file_format_id, static_cast<unsigned>(IDS_UNPACKING_FILE));
  EXPECT_EQ(ExtractionTextsFor(false).status_id, static_cast<unsigned>(IDS_EXTRACTING_ARCHIVE));
  EXPECT_EQ(ExtractionTextsFor(false).file_format_id, static_cast<unsigned>(IDS_EXTRACTING_FILE));
}

TEST(ExtractionText, PercentStaysWithinTheBarWithoutOverflow) {
  const struct {
    uint64_t done, total;
    uint32_t percent;
  } cases[] = {
      {0, 0, 100},                         // nothing to extract is done
      {0, 10, 0},         {5, 10, 50},     {9, 10, 90},
      {11, 10, 100},                       // more than announced never passes the end
      {UINT64_MAX / 2, UINT64_MAX, 50},    // done * 100 would overflow
      {3000000000ull, 6000000000ull, 50},  // beyond 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PercentDone(c.done, c.total), c.percent) << c.done << " of " << c.total;
  }
}

TEST(ExtractionText, PathLineLosesFoldersFromTheLeftAndKeepsTheFileName) {
  const std::wstring line = L"Extracting file to C:\\first\\two\\three\\setup.exe";
  const struct {
    size_t width;
    const wchar_t* shown;
  } cases[] = {
      {47, L"Extracting file to C:\\first\\two\\three\\setup.exe"},
      {46, L"Extracting file to C:\\...\\two\\three\\setup.exe"},
      {44, L"Extracting file to C:\\...\\three\\setup.exe"},
      {40, L"Extracting file to C:\\...\\setup.exe"},
      {10, L"Extracting file to C:\\...\\setup.exe"},  // clipped by the control
  };
  for (const auto& c : cases) EXPECT_EQ(ShortenPathLine(line, c.width), c.shown) << c.width;
  // Nothing in the middle to give way: the control clips.
  EXPECT_EQ(ShortenPathLine(L"Unpacking file:C:\\setup.exe", 5), L"Unpacking file:C:\\setup.exe");
  EXPECT_EQ(ShortenPathLine(L"no path at all", 5), L"no path at all");
}
