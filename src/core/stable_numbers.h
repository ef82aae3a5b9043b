// The numbers other programs, stored files and resources rely on. Never reuse one.
// The resource script includes this file too, so the resource identifiers are
// plain macros; everything else is hidden from the resource compiler.
#pragma once

// Icons and dialogs.
#define IDI_CHAINER 128
#define IDD_STATUS_WINDOW 201
#define IDD_PROGRESS 216
#define IDD_CREDENTIALS 225

// Controls of the status window and the progress dialogs.
#define IDC_STATUS_TEXT 1001
#define IDC_PROGRESS_TEXT 1034
#define IDC_PROGRESS_BAR 1035

// Controls of the credentials dialog.
#define IDC_CREDENTIALS_USER 1061
#define IDC_CREDENTIALS_PASSWORD 1062
#define IDC_CREDENTIALS_REMEMBER 1063
#define IDC_CREDENTIALS_MESSAGE 1067

// String table.
#define IDS_INSTALLING 153
#define IDS_SETUP_TITLE 161
#define IDS_OPENING_SITE 198
#define IDS_DOWNLOADING 199
#define IDS_EXTRACTING_ARCHIVE 200
#define IDS_EXTRACTING_FILE 201
#define IDS_JAR_UNPACK_FAILED 202
#define IDS_JAVA_REQUIRED 203
#define IDS_REBOOT_QUESTION 216
#define IDS_CONFIRMATION 217
#define IDS_UNPACKING_FILE 218
#define IDS_NOT_ENOUGH_SPACE 219
#define IDS_PREPARING 220
#define IDS_SEARCHING 223
#define IDS_CONNECT_TO 245
#define IDS_SERVER_NEEDS_LOGIN 246
#define IDS_READ_FAILED 259
#define IDS_WRITE_FAILED 260
// Not in the original table: an information box beside an opened site needs
// a text, and the configuration has no key for one.
#define IDS_SITE_MESSAGE 281
// Not in the original table either: without it the report of a crash shows an
// icon and two buttons and no word of what happened.
#define IDS_CRASH_REPORT 65001

#ifndef RC_INVOKED
#include <cstdint>

// Process exit codes.
constexpr int32_t kExitSuccess = 0;
constexpr int32_t kExitMandatoryFailed = 1;
constexpr int32_t kExitRebootPending = -1;
// A fault or exception escaped everything: reported, cleaned up, ended (as abort()).
constexpr int32_t kExitCrashed = 3;

// HRESULTs thrown for broken invariants.
constexpr uint32_t kErrorBounds = 0x8000000Bu;      // E_BOUNDS
constexpr uint32_t kErrorInvalidArg = 0x80070057u;  // E_INVALIDARG
constexpr uint32_t kErrorFail = 0x80004005u;        // E_FAIL

// Windows Installer results that the chain's steps return and setups give.
constexpr uint32_t kInstallUserExit = 1602;        // ERROR_INSTALL_USEREXIT: cancelled
constexpr uint32_t kInstallFailure = 1603;         // ERROR_INSTALL_FAILURE
constexpr uint32_t kFunctionFailed = 1627;         // ERROR_FUNCTION_FAILED: a store package
constexpr uint32_t kSuccessRebootRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

// The download error family. These travel in the same 32-bit values as
// Windows and WinINet errors, which pass through unchanged, and reach
// IProgressSink::ReportError as its code.
constexpr uint32_t kDownloadTargetNotAbsolute = 0xE0000005u;  // target path is relative
constexpr uint32_t kDownloadCanceled = 0xE0000008u;
// The data ended before the announced total and reconnecting is not allowed.
constexpr uint32_t kDownloadPrematureEnd = 0xE000000Fu;
// The resume offset is at or beyond the size the server announced.
constexpr uint32_t kDownloadOffsetBeyondSize = 0xE0000010u;
// Authentication required and no credentials were obtained. As a sink code
// its context is the CredentialStore: the sink may ask the user.
constexpr uint32_t kDownloadNeedCredentials = 0xE0000012u;
// HTTP 304, or a local source not newer than the If-Modified-Since date.
constexpr uint32_t kDownloadNotModified = 0xE0000013u;
constexpr uint32_t kDownloadForbidden = 0xE0000016u;     // HTTP 403
constexpr uint32_t kDownloadNotFound = 0xE0000018u;      // HTTP 404 or 410
constexpr uint32_t kDownloadFileRejected = 0xE0000022u;  // wrong size or digest
constexpr uint32_t kDownloadSizeMismatch = 0xE0000023u;  // total differs from the expected size
constexpr uint32_t kMandatoryFailed = 0xE0000024u;       // a mandatory download or setup failed
constexpr uint32_t kRebootStartedOrRefused = 0xE0000025u;
constexpr uint32_t kDownloadPostRefused = 0xE000002Bu;  // a POST answered other than 200
// A 206 for another range than asked for: its body cannot continue the
// ".part" file. (It once borrowed WinINet's 12152, which means a response
// that cannot be parsed at all.)
constexpr uint32_t kDownloadRangeMismatch = 0xE000002Cu;

// ERROR_INTERNET_UNRECOGNIZED_SCHEME: also an empty URL list.
constexpr uint32_t kDownloadUnsupportedScheme = 12006u;
// ERROR_HTTP_INVALID_SERVER_RESPONSE: also a final status below 200, which no
// server may send.
constexpr uint32_t kDownloadInvalidResponse = 12152u;
// A final response status from 200 on that the transfer cannot use (5xx, a
// 3xx WinINet did not follow, ...) fails with this base plus the status, so
// that the number the server gave reaches the log: 0xE00100C8 to 0xE00103E7
// for the three-digit statuses. Below those lies 0xE0010064, the fixed code
// of the Exception class (platform/core/exceptions.h): no status maps there,
// and that code is never read as one.
constexpr uint32_t kDownloadHttpStatusBase = 0xE0010000u;
#endif
