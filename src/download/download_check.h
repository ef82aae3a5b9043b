// Whether a prerequisite's setup file is already where its download would put
// it, where a file: source lies, and whether a finished download is accepted.
#pragma once
#include <cstdint>
#include <string>

#include "download/file_acceptance.h"

// True for a local "file://" source without looking at the disk; otherwise
// when the file the download would produce exists below download_folder and
// is accepted by CheckFile with its digests read from the disk. With
// reuse_acceptance, a file this run's CheckFile accepted and that has not
// changed since (size, times of creation and last write) is not read again:
// for reports only, never for a file about to be launched.
bool IsAlreadyDownloaded(const std::wstring& download_folder, const std::wstring& source,
                         const std::wstring& folder, const FileRequirements& required,
                         bool reuse_acceptance = false);
// Judges the file at path (JudgeFile). known holds digests already computed
// of exactly its bytes (those of the transfer); the others that are needed
// are read from the disk, in one pass and only once the size is right.
Rejection CheckFile(const std::wstring& path, const FileRequirements& required,
                    const FileDigests& known);
// True when the source is a "file://" or "file:///" address (any letter case).
bool IsFileUrl(const std::wstring& source);
// The local path a file: source names, %XX escapes decoded: the same path
// the transfer engine copies from, so that a setup launched from its source
// and one copied from there are the same file. Empty for other sources.
std::wstring LocalPathOfFileSource(const std::wstring& source);
