// The transfer engine's decisions, apart from WinINet: which schemes it takes,
// what an HTTP status means for the resume offset, the request header lines,
// when to move to the next URL, and how a response charset is decoded. Pure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "core/stable_numbers.h"

enum class SchemeKind { kUnsupported, kFtp, kHttp, kHttps, kFile };

// The kind of a URL scheme name ("http", "HTTPS", ...), case-insensitive.
SchemeKind SchemeKindOf(const std::wstring& scheme);

// kDownloadHttpStatusBase plus a final status (200 and above) the transfer
// cannot use; kDownloadInvalidResponse for an informational one (below 200).
uint32_t HttpStatusError(uint32_t status);
// The status a code of HttpStatusError carries; 0 for any other code, the
// Exception class's code among them.
uint32_t HttpStatusOfError(uint32_t error);

// A Content-Range value: "bytes 1000-1499/1500", "bytes 1000-1499/*" or, on a
// 416, "bytes */1500". complete is 0 when the server wrote "*".
struct ContentRange {
  bool unsatisfied = false;  // "*/complete": no range, only the size
  uint64_t first = 0, last = 0, complete = 0;
};
// False when text is empty or not of the forms above.
bool ParseContentRange(const std::wstring& text, ContentRange* range);

// What an HTTP response means for the transfer.
struct HttpOutcome {
  uint32_t error = 0;         // 0, or a download error code
  bool authenticate = false;  // 401/407: ask for credentials and send again
  uint64_t offset = 0;        // where the body starts in the file
  uint64_t total = 0;         // the whole file's size, 0 when unknown
};

// The outcome of status with the response's Content-Length (0 when absent)
// and Content-Range (empty when absent) for a request that asked for the
// bytes from offset on. 206 appends (total unknown without a length) unless
// its range starts elsewhere; 200 restarts at 0 (or fails when offset is
// already at or beyond the length); a 416 saying the file is offset bytes
// long means the ".part" file is complete (offset == total). Any status not
// listed here fails with HttpStatusError, so that no error page replaces data.
HttpOutcome DecideHttpStatus(uint32_t status, uint64_t content_length, uint64_t offset,
                             const std::wstring& content_range);

// Where a transfer resumes with a ".part" file of part_size bytes: a file
// longer than the size expected cannot be the head of the right one, and
// resuming it could only fail, so it starts over.
uint64_t ResumeOffset(uint64_t part_size, uint64_t expected_size);

// Whether a failed open of a transfer that resumed at offset shows that its
// ".part" file can never be continued, so that it is discarded and the file
// fetched from the start: the server's file is not longer than the ".part"
// file (a 200 that ignored the range, a 416 naming a smaller size, an FTP
// file no longer than the offset), or the server cannot serve the rest (a 416
// that does not confirm the ".part" file complete). Any other failure, a 5xx
// above all, says nothing about the ".part" file, which stays for a later run.
bool PartCannotResume(uint32_t error, uint64_t offset);

// "Range: bytes=<offset>-\r\n", or empty for offset 0.
std::wstring RangeHeader(uint64_t offset);

// A date as SYSTEMTIME holds it (UTC); year 0 means none.
struct HttpDate {
  uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "If-Modified-Since: Tue, 08 Dec 2026 17:38:16 GMT\r\n". The day of the week
// comes from the date itself. Empty for year 0 or a date out of range.
std::wstring IfModifiedSinceHeader(const HttpDate& date);

// How much one read of the body asks for. A read waits until its block is
// full (or the body ends), and under Wine every read, and every write of it to
// the ".part" file, has a fixed cost: 256 KiB blocks moved 256 MiB over
// loopback in about half the time of 51,200-byte ones, and 1 MiB ones took
// another eighth off the engine's time (32-bit build). Small blocks keep
// progress and cancellation prompt on a slow line, so the block grows only
// while reads come back full and fast, and shrinks again when one is slow.
constexpr uint32_t kMinReadSize = 51200;
constexpr uint32_t kMaxReadSize = 1024 * 1024;
// How many bytes of consecutive reads are handed to the hashing thread at a
// time. Every hand-over wakes a thread, which under Wine is a trip through
// its server: block by block, those trips cost about as much as the hashing.
constexpr uint32_t kHashBatchSize = 1024 * 1024;
// A read goes into the batch being filled, never across two.
static_assert(kMaxReadSize <= kHashBatchSize, "a read must fit in one hashing batch");
// The next read's size after a read of size that brought got bytes in
// elapsed_ms milliseconds.
uint32_t NextReadSize(uint32_t size, uint32_t got, uint32_t elapsed_ms);

// WinINet errors that say the connection dropped in the middle of the data:
// timeout, aborted, reset, disconnected (and the socket's own aborted and reset).
bool IsDroppedConnection(uint32_t error);
// WinINet's certificate errors of a send (invalid CA, common name, date, revoked).
bool IsCertificateError(uint32_t error);

// After a failed attempt on URL *index of url_count: true when another attempt
// follows, with *index moved to the next URL (after the last the first again)
// and *attempts_left decreased. Unreachable hosts always rotate while attempts
// are left; a missing file or path, and a server answering with a status it
// cannot use, rotate only when there is another URL.
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

// The server that credentials are entered for and offered to: for a proxy
// "proxy:" and its host; otherwise the URL's scheme, host and port
// ("http://files.example:80", default ports filled in), or "file://" and the
// server of a share, all in lower case. The user information in the URL does
// not count.
std::wstring CredentialServerOf(const std::wstring& url, bool is_proxy,
                                const std::wstring& proxy_host);

// The host of a proxy setting as WinINet takes it ("gate:3128",
// "http=gate:3128;https=other:443", "http://gate:3128"): the first entry's
// host without scheme and port.
std::wstring ProxyHostOf(const std::wstring& proxy);

// The local path a file: URL names: "file:///C:/dir/a.msi" and
// "file://C:\dir\a.msi" give "C:\dir\a.msi", "file://\\srv\share\a.msi" and
// "file://srv/share/a.msi" give "\\srv\share\a.msi". Percent escapes are
// decoded by the caller. Empty when the text is no file: URL.
std::wstring LocalPathOfFileUrl(const std::wstring& url);
