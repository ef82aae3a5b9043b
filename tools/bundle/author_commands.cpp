#include "author_commands.h"

#include <cstdio>
#include <string>

#include "archive/bundle_index.h"
#include "archive/pe_overlay.h"
#include "author_files.h"
#include "config_check.h"
#include "file_source.h"
#include "signer_name.h"

namespace {
int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "bundle: %s\n", message.c_str());
  return code;
}

// The bundle index of a setup.exe, found as the chainer finds it: at the
// start of the bytes between the image and the certificate table.
bool ReadBundleOf(const std::string& path, BundleIndex* index, std::string* error) {
  FileSource file(path);
  std::vector<uint8_t> headers(static_cast<size_t>(
      file.Size() < kPeHeaderReadSize ? file.Size() : kPeHeaderReadSize));
  OverlaySpan span;
  if (!file.ok() || !file.ReadAt(0, headers.data(), headers.size()) ||
      !FindOverlay(headers.data(), headers.size(), file.Size(), &span)) {
    *error = "cannot read " + path + " as a Windows executable";
    return false;
  }
  WindowSource overlay(file, span.start, span.end - span.start);
  switch (ReadBundleIndex(overlay, index)) {
    case IndexStatus::Ok:
      return true;
    case IndexStatus::NoBundle:
      *error = path + " carries no bundle";
      return false;
    default:
      *error = path + " carries a damaged bundle";
      return false;
  }
}
}  // namespace

int RunHash(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("usage: bundle hash FILE...", 2);
  int code = 0;
  for (const std::string& path : args) {
    std::string lines, error;
    if (!HashLines(path, &lines, &error)) {
      code = Fail(error, 2);
      continue;
    }
    // A line without "=" is ignored by the chainer, so the label may be pasted too.
    if (args.size() > 1) std::printf("; %s\n", path.c_str());
    std::fputs((lines + SignedByLine(path)).c_str(), stdout);
  }
  return code;
}

int RunCheck(const std::vector<std::string>& args) {
  std::string ini, setup;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--bundle" && i + 1 < args.size()) {
      setup = args[++i];
    } else if (ini.empty() && !args[i].empty() && args[i][0] != '-') {
      ini = args[i];
    } else {
      return Fail("usage: bundle check SETUP.ini [--bundle SETUP.exe]", 2);
    }
  }
  if (ini.empty()) return Fail("usage: bundle check SETUP.ini [--bundle SETUP.exe]", 2);
  FileSource file(ini);
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  if (!file.ok() || !file.ReadAt(0, bytes.data(), bytes.size())) {
    return Fail("cannot read " + ini, 2);
  }
  BundleIndex index;
  std::string error;
  if (!setup.empty() && !ReadBundleOf(setup, &index, &error)) return Fail(error, 2);
  const std::vector<CheckFinding> findings =
      CheckConfiguration(bytes, setup.empty() ? nullptr : &index);
  int code = 0;
  for (const CheckFinding& finding : findings) {
    const std::string where =
        finding.line > 0 ? ini + ":" + std::to_string(finding.line) : ini;
    std::printf("%s: %s%s\n", where.c_str(), finding.warning ? "warning: " : "",
                finding.text.c_str());
    if (!finding.warning) code = 1;
  }
  return code;
}

int RunIni(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: bundle ini IN.txt OUT.ini", 2);
  std::string error;
  return ConvertToIni(args[0], args[1], &error) ? 0 : Fail(error, 2);
}
