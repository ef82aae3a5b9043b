// bundle: appends the files a package carries to a copy of the chainer, and
// helps write the configuration that goes with it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "author_commands.h"
#include "bundle_writer.h"

namespace {
const char kUsage[] =
    "usage: bundle --chainer CHAINER.exe --out SETUP.exe [--encrypt PASSWORD]\n"
    "              [--method LZMA2|LZMA] [--helper FILE]... FILE...\n"
    "       bundle hash FILE...\n"
    "       bundle check SETUP.ini [--bundle SETUP.exe]\n"
    "       bundle ini IN.txt OUT.ini\n"
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
    "\n"
    "hash prints the ExactSize=, SHA256= and MD5= lines of each file for its\n"
    "prerequisite, and SignedBy= with the signer's name for a signed executable.\n"
    "check reads SETUP.ini as the chainer does and lists, with line numbers, what\n"
    "it would ignore or misread; with --bundle also the files SETUP.exe lacks;\n"
    "warnings (downloads checked by MD5 only or not at all) do not fail it.\n"
    "ini turns a UTF-8 text into the chainer's UTF-16LE with byte-order mark and\n"
    "CR LF line ends.\n"
    "Exit code: 0 done, 1 failed (check: problems found), 2 bad arguments,\n"
    "refused names or an unreadable input.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "bundle: %s\n", problem);
  std::fputs(kUsage, problem ? stderr : stdout);
  return problem ? 2 : 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "hash") return RunHash(args);
    if (command == "check") return RunCheck(args);
    if (command == "ini") return RunIni(args);
  }
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
