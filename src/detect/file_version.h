// The version of a file as the file search collects it.
#pragma once
#include <cstdint>
#include <string>

// The fixed file version halves as text: "%d.%d.%d.%d" of the four 16-bit
// words, most significant first, then normalised ("2.5.1.0" gives "2.5.1").
std::wstring FormatFileVersion(uint32_t version_ms, uint32_t version_ls);

// The fixed file version of the file at path, formatted as above; "0.0.0.0"
// when it has no version information or cannot be read. With
// clone_windows_files, a file inside the Windows folder is read through a
// temporary copy (prefix "shim_clone", in the temporary folder, deleted again).
std::wstring ReadFileVersionText(const std::wstring& path, bool clone_windows_files);
