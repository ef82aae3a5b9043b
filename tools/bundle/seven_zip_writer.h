// Writes 7z archives the way the chainer reads them, without any external
// program: one folder per file (non-solid), the BCJ x86 filter, LZMA2 or LZMA,
// optionally 7z AES-256, and a plain (unencrypted) header.
#pragma once
#include <string>
#include <vector>

enum class SevenZipMethod { Lzma2, Lzma };

struct SevenZipEntry {
  std::string path;   // the file to read
  std::wstring name;  // its name inside the archive
};

struct SevenZipOptions {
  SevenZipMethod method = SevenZipMethod::Lzma2;
  std::wstring password;  // empty: not encrypted
};

// Writes the archive at archive_path holding every entry in order, each file
// streamed through the coders so that its size does not matter. False with a
// message in *error (naming the file that failed) and nothing left at
// archive_path.
bool WriteSevenZip(const std::string& archive_path, const std::vector<SevenZipEntry>& entries,
                   const SevenZipOptions& options, std::string* error);
