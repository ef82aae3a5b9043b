// Whether a prerequisite's setup file is already where its download would put it.
#pragma once
#include <cstdint>
#include <string>

// True for a local "file://" source without looking at the disk; otherwise
// when the file the download would produce exists below download_folder and
// has exactly expected_size bytes (any size when expected_size is 0).
bool IsAlreadyDownloaded(const std::wstring& download_folder, const std::wstring& source,
                         uint32_t expected_size, const std::wstring& folder);
// True when the source is a "file://" or "file:///" address (any letter case).
bool IsFileUrl(const std::wstring& source);
