// Makes a bundle: a copy of the chainer followed by the bundle index and the
// 7z archives of the given files (written by seven_zip_writer, no external
// program needed).
#pragma once
#include <string>
#include <vector>

struct BundleRequest {
  std::string chainer;
  std::string out;
  std::string password;             // empty: not encrypted
  std::string method = "LZMA2";     // LZMA2 or LZMA
  std::vector<std::string> setups;  // stored under their base names
  std::vector<std::string> helpers;
};

// 0 on success; otherwise a message in *error and nothing left at out.
int MakeBundle(const BundleRequest& request, std::string* error);
