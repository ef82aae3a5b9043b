// Version texts from the configuration and from searched files and
// registry values, and the comparisons that decide detection.
#include "detect/version.h"
#include "fuzz_input.h"

namespace {
int Sign(int value) {
  return (value > 0) - (value < 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> fields = Fields(data, size);
  Version a, b;
  ParseVersion(FieldAt(fields, 0), &a);
  ParseVersion(FieldAt(fields, 1), &b);
  FUZZ_CHECK(Sign(CompareVersions(a, b)) == -Sign(CompareVersions(b, a)));
  // A written version reads back as itself.
  const std::wstring written = NormalizeVersionText(FieldAt(fields, 0));
  FUZZ_CHECK(NormalizeVersionText(written) == written);
  FormatVersion(b);
  std::vector<std::wstring> values(fields.size() > 2 ? fields.begin() + 2 : fields.end(),
                                   fields.end());
  VersionInRange(values, FieldAt(fields, 0), FieldAt(fields, 1));
  return 0;
}
