// The transfer's reading of server answers: status with Content-Length and
// Content-Range, charsets, FTP replies, file: URLs, and the retry rule.
#include "download/transfer_rules.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::wstring> fields = Fields(data, size);
  ContentRange range;
  ParseContentRange(FieldAt(fields, 0), &range);
  const uint64_t offset = NumberAt(fields, 3);
  const HttpOutcome outcome = DecideHttpStatus(static_cast<uint32_t>(NumberAt(fields, 1)),
                                               NumberAt(fields, 2), offset, FieldAt(fields, 0));
  // A body never starts past the bytes already kept.
  if (outcome.error == 0 && !outcome.authenticate) FUZZ_CHECK(outcome.offset <= offset);
  CodePageForCharset(CharsetOf(FieldAt(fields, 4)));
  FtpReplyCode(FieldAt(fields, 5));
  LocalPathOfFileUrl(FieldAt(fields, 6));
  SchemeKindOf(FieldAt(fields, 7));
  int32_t attempts = static_cast<int32_t>(NumberAt(fields, 8) % 8);
  size_t index = 0;
  const size_t url_count = 1 + NumberAt(fields, 9) % 4;
  while (NextAttempt(static_cast<uint32_t>(NumberAt(fields, 10)), url_count, &attempts, &index)) {
    FUZZ_CHECK(index < url_count);
  }
  HttpDate date;
  date.year = static_cast<uint16_t>(NumberAt(fields, 11));
  date.month = static_cast<uint16_t>(NumberAt(fields, 12));
  date.day = static_cast<uint16_t>(NumberAt(fields, 13));
  IfModifiedSinceHeader(date);
  RangeHeader(offset);
  NextReadSize(static_cast<uint32_t>(NumberAt(fields, 14)),
               static_cast<uint32_t>(NumberAt(fields, 15)),
               static_cast<uint32_t>(NumberAt(fields, 16)));
  return 0;
}
