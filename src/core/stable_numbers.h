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

#ifndef RC_INVOKED
#include <cstdint>

// Process exit codes.
constexpr int32_t kExitSuccess = 0;
constexpr int32_t kExitMandatoryFailed = 1;
constexpr int32_t kExitRebootPending = -1;

// HRESULTs thrown for broken invariants.
constexpr uint32_t kErrorBounds = 0x8000000Bu;      // E_BOUNDS
constexpr uint32_t kErrorInvalidArg = 0x80070057u;  // E_INVALIDARG
constexpr uint32_t kErrorFail = 0x80004005u;        // E_FAIL
#endif
