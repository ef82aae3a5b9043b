// `bundle check`: reads a configuration with the chainer's own parser and
// loader and lists what the chainer would silently ignore or misread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/bundle_index.h"

struct CheckFinding {
  int32_t line = 0;  // 1-based, counted in CR LF lines as the chainer does; 0: the whole file
  std::string text;  // UTF-8
  // Advice: the chainer reads the file as meant, but a download is checked
  // weakly or not at all.
  bool warning = false;
};

// The findings for the file's bytes, in line order (file-wide ones first).
// bundle, when given, is the index of the setup.exe the file goes with: setup
// files and search helpers it does not carry are reported too.
std::vector<CheckFinding> CheckConfiguration(const std::vector<uint8_t>& bytes,
                                             const BundleIndex* bundle);
