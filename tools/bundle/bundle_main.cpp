// bundle: appends the files a package carries to a copy of the chainer.
#include <cstdio>
#include <cstring>
#include <string>

#include "bundle_writer.h"

namespace {
const char kUsage[] =
    "usage: bundle --chainer CHAINER.exe --out SETUP.exe [--encrypt PASSWORD]\n"
    "              [--method LZMA2|LZMA] [--helper FILE]... FILE...\n"
    "\n"
    "Writes SETUP.exe: a copy of CHAINER.exe followed by the files in 7z\n"
    "archives (BCJ x86 filter, then LZMA2 or LZMA; one block per file). No\n"
    "7-Zip program is needed.\n"
    "Each FILE is stored under its base name as a prerequisite's setup file;\n"
    "--helper FILE stores a program for type-10 (command) searches.\n"
    "--encrypt stores the files AES-256 encrypted; the password travels in the\n"
    "bundle so that the chainer can extract them (see src/archive/FORMAT.md).\n"
    "Sign SETUP.exe afterwards if it must be signed: the chainer reads the\n"
    "bundle from before the signature.\n"
    "Exit code: 0 done, 1 failed, 2 bad arguments or refused names.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "bundle: %s\n", problem);
  std::fputs(kUsage, problem ? stderr : stdout);
  return problem ? 2 : 0;
}
}  // namespace

int main(int argc, char** argv) {
  BundleRequest request;
  bool files_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (files_only || arg.empty() || arg[0] != '-') {
      request.setups.push_back(arg);
    } else if (arg == "--") {
      files_only = true;
    } else if (arg == "--help" || arg == "-h") {
      return Usage(nullptr);
    } else if (arg == "--chainer" && has_value) {
      request.chainer = argv[++i];
    } else if (arg == "--out" && has_value) {
      request.out = argv[++i];
    } else if (arg == "--encrypt" && has_value) {
      request.password = argv[++i];
      if (request.password.empty()) return Usage("--encrypt needs a password");
    } else if (arg == "--method" && has_value) {
      request.method = argv[++i];
    } else if (arg == "--helper" && has_value) {
      request.helpers.push_back(argv[++i]);
    } else {
      return Usage(("unknown or incomplete option " + arg).c_str());
    }
  }
  if (request.chainer.empty() || request.out.empty())
    return Usage("--chainer and --out are needed");
  std::string error;
  const int code = MakeBundle(request, &error);
  if (code != 0) std::fprintf(stderr, "bundle: %s\n", error.c_str());
  return code;
}
