#include "download/transfer_rules.h"

#include <gtest/gtest.h>

#include "platform/core/exceptions.h"

namespace {

TEST(TransferRulesTest, SchemeKinds) {
  EXPECT_EQ(SchemeKind::kHttp, SchemeKindOf(L"HTTP"));
  EXPECT_EQ(SchemeKind::kHttps, SchemeKindOf(L"https"));
  EXPECT_EQ(SchemeKind::kFtp, SchemeKindOf(L"Ftp"));
  EXPECT_EQ(SchemeKind::kFile, SchemeKindOf(L"file"));
  EXPECT_EQ(SchemeKind::kUnsupported, SchemeKindOf(L"gopher"));
  EXPECT_EQ(SchemeKind::kUnsupported, SchemeKindOf(L""));
  EXPECT_EQ(SchemeKind::kUnsupported, SchemeKindOf(L"httpx"));
}

TEST(TransferRulesTest, StatusDecidesOffsetAndTotal) {
  struct Case {
    uint32_t status;
    uint64_t length, offset;
    uint32_t error;
    bool authenticate;
    uint64_t new_offset, total;
  };
  const Case cases[] = {
      {200, 1500, 0, 0, false, 0, 1500},
      {200, 1500, 1000, 0, false, 0, 1500},  // range ignored: start over
      {200, 800, 1000, 0xE0000010u, false, 1000, 0},
      {200, 1000, 1000, 0xE0000010u, false, 1000, 0},  // at the size is beyond too
      {200, 0, 1000, 0, false, 0, 0},                  // no length: start over, size unknown
      {206, 500, 1000, 0, false, 1000, 1500},
      {206, 0, 1000, 0, false, 1000, 0},  // no length: still the tail, size unknown
      {206, 0x100000000ull, 0x100000000ull, 0, false, 0x100000000ull, 0x200000000ull},
      {304, 0, 5, 0xE0000013u, false, 0, 0},
      {403, 10, 0, 0xE0000016u, false, 0, 0},
      {404, 10, 0, 0xE0000018u, false, 0, 0},
      {410, 10, 0, 0xE0000018u, false, 0, 0},
      {401, 6, 700, 0, true, 700, 0},
      {407, 6, 700, 0, true, 700, 0},
      // An error page, a redirect not followed, a range past the end: never the file.
      {500, 42, 700, 0xE00101F4u, false, 0, 0},
      {503, 42, 0, 0xE00101F7u, false, 0, 0},
      {302, 0, 0, 0xE001012Eu, false, 0, 0},
      {416, 30, 700, 0xE00101A0u, false, 0, 0},
      {0, 0, 700, 12030u, false, 0, 0},  // closed before any status line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " " << c.length << " " << c.offset);
    const HttpOutcome outcome = DecideHttpStatus(c.status, c.length, c.offset, L"");
    EXPECT_EQ(c.error, outcome.error);
    EXPECT_EQ(c.authenticate, outcome.authenticate);
    if (c.error == 0) {
      EXPECT_EQ(c.new_offset, outcome.offset);
      EXPECT_EQ(c.total, outcome.total);
    }
  }
}

// The range a 206 or 416 names decides whether its body belongs after the
// ".part" file.
TEST(TransferRulesTest, ContentRangeChecksTheOffset) {
  struct Case {
    uint32_t status;
    const wchar_t* range;
    uint64_t offset;
    uint32_t error;
    uint64_t total;
  };
  const Case cases[] = {
      {206, L"bytes 1000-1499/1500", 1000, 0, 1500},
      {206, L"bytes 1000-1499/*", 1000, 0, 1500},
      {206, L"bytes 0-1499/1500", 1000, kDownloadRangeMismatch, 0},  // whole file as a range
      {206, L"bytes 900-1499/1500", 1000, kDownloadRangeMismatch, 0},
      {206, L"bytes */1500", 1000, kDownloadRangeMismatch, 0},
      {206, L"pages 1-2/3", 1000, kDownloadRangeMismatch, 0},
      // The ".part" file already holds the whole file: finished, nothing to read.
      {416, L"bytes */1000", 1000, 0, 1000},
      {416, L"bytes */800", 1000, 0xE0000010u, 0},
      {416, L"bytes */5000", 1000, 0xE00101A0u, 0},
      {416, L"bytes */0", 0, 0xE00101A0u, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " " << c.offset);
    const HttpOutcome outcome = DecideHttpStatus(c.status, 500, c.offset, c.range);
    EXPECT_EQ(c.error, outcome.error);
    if (c.error == 0) {
      EXPECT_EQ(c.offset, outcome.offset);
      EXPECT_EQ(c.total, outcome.total);
    }
  }
  EXPECT_EQ(503u, HttpStatusOfError(HttpStatusError(503)));
  EXPECT_EQ(0u, HttpStatusOfError(0xE0000018u));
  // The status family stays clear of the Exception class's code and of the
  // download family; an informational status is no answer at all.
  EXPECT_EQ(0u, HttpStatusOfError(Exception::kCode));
  for (uint32_t status : {100u, 101u, 199u}) {
    EXPECT_EQ(kDownloadInvalidResponse, DecideHttpStatus(status, 0, 0, L"").error) << status;
  }
  EXPECT_EQ(200u, HttpStatusOfError(HttpStatusError(200)));
  EXPECT_EQ(0xE000002Cu, kDownloadRangeMismatch);

  ContentRange range;
  ASSERT_TRUE(ParseContentRange(L"bytes 4294967296-4294967300/4294967301", &range));
  EXPECT_EQ(0x100000000ull, range.first);
  EXPECT_EQ(0x100000005ull, range.complete);
  for (const wchar_t* bad : {L"", L"bytes", L"bytes 5-4/9", L"bytes 1-2/3x", L"bytes -2/3",
                             L"bytes */*", L"bytes 99999999999999999999-1/2"}) {
    EXPECT_FALSE(ParseContentRange(bad, &range)) << bad;
  }
}

TEST(TransferRulesTest, LongerPartThanExpectedStartsOver) {
  EXPECT_EQ(1000u, ResumeOffset(1000, 0));
  EXPECT_EQ(1000u, ResumeOffset(1000, 1000));
  EXPECT_EQ(0u, ResumeOffset(1001, 1000));
}

// Only answers that show the ".part" file cannot be continued discard it;
// a server in trouble or a missing file leaves it for a later run.
TEST(TransferRulesTest, PartDiscardedOnlyWhenTheServerShowsItCannotBeContinued) {
  const uint64_t part = 1000;
  const struct {
    uint32_t status;
    uint64_t length;
    const wchar_t* range;
    bool discard;
  } cases[] = {
      {416, 0, L"", true},                // no size: the rest cannot be had
      {416, 0, L"bytes */800", true},     // the server's file is shorter
      {416, 0, L"bytes */5000", true},    // longer, yet no range of it is served
      {200, 1000, L"", true},             // range ignored, file no longer than the part
      {416, 0, L"bytes */1000", false},   // the part is the whole file
      {200, 1500, L"", false},            // range ignored: the body replaces the part
      {503, 0, L"", false},
      {500, 0, L"", false},
      {404, 0, L"", false},
      {206, 500, L"bytes 900-1399/1500", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.status << " " << c.range);
    const uint32_t error = DecideHttpStatus(c.status, c.length, part, c.range).error;
    EXPECT_EQ(c.discard, PartCannotResume(error, part));
    // Without a ".part" file there is nothing to discard.
    EXPECT_FALSE(PartCannotResume(error, 0));
  }
}

TEST(TransferRulesTest, HeaderLines) {
  EXPECT_EQ(L"", RangeHeader(0));
  EXPECT_EQ(L"Range: bytes=1000-\r\n", RangeHeader(1000));
  EXPECT_EQ(L"Range: bytes=4294967296-\r\n", RangeHeader(0x100000000ull));

  HttpDate date;
  EXPECT_EQ(L"", IfModifiedSinceHeader(date));
  date.year = 2000;
  date.month = 2;
  date.day = 29;
  date.hour = 23;
  date.minute = 5;
  date.second = 1;
  EXPECT_EQ(L"If-Modified-Since: Tue, 29 Feb 2000 23:05:01 GMT\r\n", IfModifiedSinceHeader(date));
  date.year = 1994;
  date.month = 11;
  date.day = 6;
  date.hour = 8;
  date.minute = 49;
  date.second = 37;
  EXPECT_EQ(L"If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n", IfModifiedSinceHeader(date));
  date.month = 1;
  date.day = 1;
  date.year = 2024;
  EXPECT_EQ(L"If-Modified-Since: Mon, 01 Jan 2024 08:49:37 GMT\r\n", IfModifiedSinceHeader(date));

  // Out-of-range fields would index past the name tables or send a date the
  // server cannot read: no header instead.
  for (HttpDate bad : {HttpDate{1900, 2, 29, 0, 0, 0}, HttpDate{2024, 13, 1, 0, 0, 0},
                       HttpDate{2024, 0, 1, 0, 0, 0}, HttpDate{2024, 4, 31, 0, 0, 0},
                       HttpDate{2024, 4, 1, 24, 0, 0}, HttpDate{2024, 4, 1, 0, 60, 0}}) {
    SCOPED_TRACE(testing::Message() << bad.year << "-" << bad.month << "-" << bad.day);
    EXPECT_EQ(L"", IfModifiedSinceHeader(bad));
  }
}

// Reads grow only while the data is there, and shrink when the line is slow.
TEST(TransferRulesTest, ReadSizeFollowsTheLine) {
  uint32_t size = kMinReadSize;
  for (int fast = 0; fast < 10; ++fast) size = NextReadSize(size, size, 1);
  EXPECT_EQ(kMaxReadSize, size);
  EXPECT_EQ(kMaxReadSize, NextReadSize(kMaxReadSize, 4000, 1)) << "a short read is the end";
  EXPECT_EQ(kMaxReadSize / 2, NextReadSize(kMaxReadSize, kMaxReadSize, 150));
  for (int slow = 0; slow < 10; ++slow) size = NextReadSize(size, size, 500);
  EXPECT_EQ(kMinReadSize, size);
  EXPECT_EQ(kMinReadSize, NextReadSize(kMinReadSize, kMinReadSize, 50));
}

TEST(TransferRulesTest, ConnectionAndCertificateErrors) {
  for (uint32_t error : {12002u, 12030u, 12031u, 12163u, 10053u, 10054u}) {
    EXPECT_TRUE(IsDroppedConnection(error));
  }
  for (uint32_t error : {0u, 12007u, 12029u, 0xE000000Fu}) EXPECT_FALSE(IsDroppedConnection(error));
  for (uint32_t error : {12037u, 12038u, 12044u, 12045u}) EXPECT_TRUE(IsCertificateError(error));
  for (uint32_t error : {0u, 12057u, 12029u}) EXPECT_FALSE(IsCertificateError(error));
}

TEST(TransferRulesTest, NextAttemptRotatesAndCounts) {
  // Unreachable hosts: attempts until none are left, wrapping to the first URL.
  int32_t left = 2;
  size_t index = 0;
  EXPECT_TRUE(NextAttempt(12007, 3, &left, &index));
  EXPECT_EQ(1u, index);
  EXPECT_TRUE(NextAttempt(12029, 3, &left, &index));
  EXPECT_EQ(2u, index);
  EXPECT_EQ(0, left);
  EXPECT_FALSE(NextAttempt(12007, 3, &left, &index));
  EXPECT_EQ(2u, index);

  left = 6;
  index = 0;
  int attempts = 1;
  while (NextAttempt(12007, 1, &left, &index)) {
    EXPECT_EQ(0u, index);
    ++attempts;
  }
  EXPECT_EQ(7, attempts) << "one URL: the first try and six more";

  // Missing files and unusable answers: only with another URL to go to.
  for (uint32_t error :
       {3u, 12003u, 12028u, 12111u, 0xE0000018u, HttpStatusError(503), kDownloadRangeMismatch}) {
    SCOPED_TRACE(error);
    left = 6;
    index = 0;
    EXPECT_FALSE(NextAttempt(error, 1, &left, &index));
    EXPECT_EQ(6, left);
    EXPECT_TRUE(NextAttempt(error, 2, &left, &index));
    EXPECT_EQ(1u, index);
    EXPECT_TRUE(NextAttempt(error, 2, &left, &index));
    EXPECT_EQ(0u, index);
  }
  // A reset or close before the answer is tried again, even with one URL.
  for (uint32_t error : {12030u, 12031u, 10054u}) {
    left = 6;
    index = 0;
    EXPECT_TRUE(NextAttempt(error, 1, &left, &index)) << error;
  }
  // Anything else ends the attempts.
  for (uint32_t error : {0u, 0xE0000016u, 0xE0000012u, 12002u, 0xE0000008u}) {
    left = 6;
    index = 0;
    EXPECT_FALSE(NextAttempt(error, 3, &left, &index)) << error;
  }
  left = 6;
  EXPECT_FALSE(NextAttempt(12007, 0, &left, &index)) << "no URLs";
}

// Credentials belong to one scheme, host and port, or to one proxy.
TEST(TransferRulesTest, CredentialServers) {
  struct Case {
    const wchar_t* url;
    bool is_proxy;
    const wchar_t* proxy_host;
    const wchar_t* server;
  };
  const Case cases[] = {
      {L"http://Files.Example/dl/a.msi?x=1", false, L"", L"http://files.example:80"},
      {L"http://user:p@ss@files.example:80/a", false, L"", L"http://files.example:80"},
      {L"https://files.example/a", false, L"", L"https://files.example:443"},
      {L"http://files.example:8080", false, L"", L"http://files.example:8080"},
      {L"ftp://files.example/pub/a", false, L"", L"ftp://files.example:21"},
      {L"http://[::1]/a", false, L"", L"http://[::1]:80"},
      {L"file://SRV/share/a.msi", false, L"", L"file://srv"},
      {L"file:///C:/dir/a.msi", false, L"", L"file://"},
      {L"http://files.example/a", true, L"Gate", L"proxy:gate"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.server, CredentialServerOf(c.url, c.is_proxy, c.proxy_host)) << c.url;
  }
  EXPECT_EQ(L"gate", ProxyHostOf(L"gate:3128"));
  EXPECT_EQ(L"gate", ProxyHostOf(L"http=gate:3128;https=other:443"));
  EXPECT_EQ(L"gate", ProxyHostOf(L"http://gate:3128/"));
  EXPECT_EQ(L"[::1]", ProxyHostOf(L"[::1]:3128"));
  EXPECT_EQ(L"gate", ProxyHostOf(L"gate"));
}

TEST(TransferRulesTest, CharsetAndCodePage) {
  EXPECT_EQ(L"utf-8", CharsetOf(L"text/plain; charset=utf-8"));
  EXPECT_EQ(L"ISO-8859-1", CharsetOf(L"text/html;Charset=ISO-8859-1; q=1"));
  EXPECT_EQ(L"UTF-16", CharsetOf(L"text/plain; charset = \"UTF-16\""));
  EXPECT_EQ(L"", CharsetOf(L"text/plain"));
  EXPECT_EQ(L"", CharsetOf(L"text/plain; xcharset=utf-8"));
  EXPECT_EQ(L"koi8-r", CharsetOf(L"text/plain; xcharset=utf-8; charset=koi8-r"));

  EXPECT_EQ(65001u, CodePageForCharset(L"UTF-8"));
  EXPECT_EQ(kCodePageUtf16, CodePageForCharset(L"utf-16"));
  EXPECT_EQ(28591u, CodePageForCharset(L"iso-8859-1"));
  EXPECT_EQ(kCodePageThreadAnsi, CodePageForCharset(L"US-ASCII"));
  EXPECT_EQ(kCodePageSystemAnsi, CodePageForCharset(L"windows-1252"));
  EXPECT_EQ(kCodePageSystemAnsi, CodePageForCharset(L""));
}

TEST(TransferRulesTest, FtpReplyCodes) {
  EXPECT_EQ(350u, FtpReplyCode(L"350 Restarting at 1000."));
  EXPECT_EQ(350u, FtpReplyCode(L"\r\n350 Restarting"));
  EXPECT_EQ(502u, FtpReplyCode(L"502 Command not implemented"));
  EXPECT_EQ(0u, FtpReplyCode(L""));
  EXPECT_EQ(0u, FtpReplyCode(L"Restarting"));
}

TEST(TransferRulesTest, LocalPathsOfFileUrls) {
  const struct {
    const wchar_t* url;
    const wchar_t* path;
  } cases[] = {
      {L"file:///C:/dir/a.msi", L"C:\\dir\\a.msi"},
      {L"file://C:\\dir\\a.msi", L"C:\\dir\\a.msi"},
      {L"FILE:C:\\a.msi", L"C:\\a.msi"},
      {L"file://\\\\srv\\share\\a.msi", L"\\\\srv\\share\\a.msi"},
      {L"file://srv/share/a.msi", L"\\\\srv\\share\\a.msi"},
      {L"file://user:pw@srv/share/a.msi", L"\\\\srv\\share\\a.msi"},
      {L"file://user@\\\\srv\\share\\a.msi", L"\\\\srv\\share\\a.msi"},
      {L"file:///", L""},
      {L"http://srv/a.msi", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.path, LocalPathOfFileUrl(c.url)) << c.url;
}

}  // namespace
