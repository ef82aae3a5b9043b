// The transfer engine's own failure codes. They travel in the same 32-bit
// values as Windows and WinINet errors, which pass through unchanged. Numbers
// are never reused.
#pragma once
#include <cstdint>

constexpr uint32_t kDownloadTargetNotAbsolute = 0xE0000005u;  // target path is relative
constexpr uint32_t kDownloadCanceled = 0xE0000008u;
// The data ended before the announced total and reconnecting is not allowed.
constexpr uint32_t kDownloadPrematureEnd = 0xE000000Fu;
// The resume offset is at or beyond the size the server announced.
constexpr uint32_t kDownloadOffsetBeyondSize = 0xE0000010u;
constexpr uint32_t kDownloadNeedCredentials = 0xE0000012u;  // and none were obtained
// HTTP 304, or a local source not newer than the If-Modified-Since date.
constexpr uint32_t kDownloadNotModified = 0xE0000013u;
constexpr uint32_t kDownloadForbidden = 0xE0000016u;     // HTTP 403
constexpr uint32_t kDownloadNotFound = 0xE0000018u;      // HTTP 404 or 410
constexpr uint32_t kDownloadSizeMismatch = 0xE0000023u;  // total differs from the expected size
constexpr uint32_t kDownloadPostRefused = 0xE000002Bu;   // a POST answered other than 200

// ERROR_INTERNET_UNRECOGNIZED_SCHEME: also an empty URL list.
constexpr uint32_t kDownloadUnsupportedScheme = 12006u;
