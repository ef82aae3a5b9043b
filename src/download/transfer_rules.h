// The transfer engine's decisions, apart from WinINet: which schemes it takes,
// what an HTTP status means for the resume offset, the request header lines,
// when to move to the next URL, and how a response charset is decoded. Pure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum class SchemeKind { kUnsupported, kFtp, kHttp, kHttps, kFile };

// The kind of a URL scheme name ("http", "HTTPS", ...), case-insensitive.
SchemeKind SchemeKindOf(const std::wstring& scheme);

// What an HTTP response means for the transfer.
struct HttpOutcome {
  uint32_t error = 0;         // 0, or a download error code
  bool authenticate = false;  // 401/407: ask for credentials and send again
  uint64_t offset = 0;        // where the body starts in the file
  uint64_t total = 0;         // the whole file's size, 0 when unknown
};

// The outcome of status with the response's Content-Length (0 when absent)
// for a request that asked for the bytes from offset on. 206 appends (total
// unknown without a length), 200 restarts at 0 (or fails when offset is
// already at or beyond the length), any other status not listed below is
// taken as the file from 0.
HttpOutcome DecideHttpStatus(uint32_t status, uint64_t content_length, uint64_t offset);

// "Range: bytes=<offset>-\r\n", or empty for offset 0.
std::wstring RangeHeader(uint64_t offset);

// A date as SYSTEMTIME holds it (UTC); year 0 means none.
struct HttpDate {
  uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "If-Modified-Since: Tue, 08 Dec 2026 17:38:16 GMT\r\n". The day of the week
// comes from the date itself. Empty for year 0 or a date out of range.
std::wstring IfModifiedSinceHeader(const HttpDate& date);

// WinINet errors that say the connection dropped in the middle of the data:
// timeout, aborted, reset, disconnected.
bool IsDroppedConnection(uint32_t error);
// WinINet's certificate errors of a send (invalid CA, common name, date, revoked).
bool IsCertificateError(uint32_t error);

// After a failed attempt on URL *index of url_count: true when another attempt
// follows, with *index moved to the next URL (after the last the first again)
// and *attempts_left decreased. Unreachable hosts always rotate while attempts
// are left; a missing file or path rotates only when there is another URL.
bool NextAttempt(uint32_t error, size_t url_count, int32_t* attempts_left, size_t* index);

// The value of the charset parameter of a Content-Type header, without quotes
// (empty when none).
std::wstring CharsetOf(const std::wstring& content_type);

// How a response body in charset is decoded: a code page for
// MultiByteToWideChar, or kCodePageUtf16 when the bytes are UTF-16LE already.
constexpr uint32_t kCodePageUtf16 = 1200;
constexpr uint32_t kCodePageSystemAnsi = 0;  // CP_ACP
constexpr uint32_t kCodePageThreadAnsi = 3;  // CP_THREAD_ACP
uint32_t CodePageForCharset(const std::wstring& charset);

// The number an FTP server's reply begins with ("350 Restarting at 10" gives
// 350); 0 when it begins with none.
uint32_t FtpReplyCode(const std::wstring& reply);

// The local path a file: URL names: "file:///C:/dir/a.msi" and
// "file://C:\dir\a.msi" give "C:\dir\a.msi", "file://\\srv\share\a.msi" and
// "file://srv/share/a.msi" give "\\srv\share\a.msi". Percent escapes are
// decoded by the caller. Empty when the text is no file: URL.
std::wstring LocalPathOfFileUrl(const std::wstring& url);
