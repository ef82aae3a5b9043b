#include "bundle_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>

#include "archive/bundle_index.h"
#include "archive/entry_name.h"
#include "archive/pe_overlay.h"
#include "archive/seven_zip_archive.h"
#include "file_source.h"
#include "host.h"
#include "seven_zip_writer.h"

namespace {
bool AppendFile(FILE* out, const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  bool ok = true;
  size_t n = 0;
  while (ok && (n = std::fread(buffer.get(), 1, 1 << 20, in)) > 0) {
    ok = std::fwrite(buffer.get(), 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  return ok;
}

struct Group {
  EntryKind kind;
  std::vector<std::string> files;
  std::string archive;  // the 7z made for them
};

bool CheckChainer(const std::string& path, std::string* error) {
  FileSource chainer(path);
  if (!chainer.ok()) {
    *error = "cannot read the chainer " + path;
    return false;
  }
  std::vector<uint8_t> headers(
      static_cast<size_t>(chainer.Size() < kPeHeaderReadSize ? chainer.Size() : kPeHeaderReadSize));
  OverlaySpan span;
  if (!chainer.ReadAt(0, headers.data(), headers.size()) ||
      !FindOverlay(headers.data(), headers.size(), chainer.Size(), &span)) {
    *error = path + " is not a Windows executable";
    return false;
  }
  if (span.signed_file) {
    *error = path + " is signed: bundle the unsigned chainer, then sign the bundle";
    return false;
  }
  if (span.start != chainer.Size()) {
    *error = path + " already carries data after its image (a bundle?)";
    return false;
  }
  return true;
}

// Writes the 7z of one group in scratch and checks that the chainer's reader
// finds every file in it under its name with methods it can decode.
bool MakeArchive(const BundleRequest& request, const std::string& scratch, size_t number,
                 Group* group, std::string* error) {
  group->archive = scratch + "/archive" + std::to_string(number) + ".7z";
  std::vector<SevenZipEntry> entries;
  for (const std::string& file : group->files) entries.push_back({file, ToWide(BaseName(file))});
  SevenZipOptions options;
  options.method = request.method == "LZMA" ? SevenZipMethod::Lzma : SevenZipMethod::Lzma2;
  options.password = ToWide(request.password);
  if (!WriteSevenZip(group->archive, entries, options, error)) return false;
  FileSource source(group->archive);
  SevenZipArchive archive;
  if (!source.ok() || archive.Open(source) != DecodeStatus::Ok) {
    *error = "cannot read back the archive written for " + group->files.front();
    return false;
  }
  for (const std::string& file : group->files) {
    const int32_t item = archive.Find(ToWide(BaseName(file)));
    if (item < 0 || !archive.IsSupported(static_cast<uint32_t>(item))) {
      *error = "the archive stores " + file + " in a way the chainer cannot read";
      return false;
    }
  }
  return true;
}

bool WriteBundle(const BundleRequest& request, const std::vector<Group>& groups,
                 std::string* error) {
  BundleIndex index;
  for (size_t g = 0; g < groups.size(); ++g) {
    FileSource archive(groups[g].archive);
    index.archives.push_back({0, archive.Size(), ToWide(request.password)});
    for (const std::string& file : groups[g].files) {
      index.entries.push_back({ToWide(BaseName(file)), groups[g].kind, static_cast<uint32_t>(g)});
    }
  }
  uint64_t offset = BundleIndexSize(index);
  for (BundledArchive& archive : index.archives) {
    archive.offset = offset;
    offset += archive.size;
  }
  const std::vector<uint8_t> header = SerializeBundle(index);
  FILE* out = std::fopen(request.out.c_str(), "wb");
  if (!out) {
    *error = "cannot create " + request.out;
    return false;
  }
  bool ok = AppendFile(out, request.chainer) &&
            std::fwrite(header.data(), 1, header.size(), out) == header.size();
  for (const Group& group : groups) ok = ok && AppendFile(out, group.archive);
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    std::remove(request.out.c_str());
    *error = "cannot write " + request.out;
    return false;
  }
  MakeExecutable(request.out);
  return true;
}
}  // namespace

int MakeBundle(const BundleRequest& request, std::string* error) {
  std::vector<Group> groups;
  if (!request.setups.empty()) groups.push_back({EntryKind::SetupFile, request.setups, ""});
  if (!request.helpers.empty()) groups.push_back({EntryKind::SearchHelper, request.helpers, ""});
  if (groups.empty()) {
    *error = "no files to bundle";
    return 2;
  }
  if (request.method != "LZMA2" && request.method != "LZMA") {
    *error = "unknown method " + request.method + " (LZMA2 or LZMA)";
    return 2;
  }
  std::vector<std::wstring> names;
  for (const Group& group : groups) {
    for (const std::string& file : group.files) {
      const std::wstring name = ToWide(BaseName(file));
      if (!IsSafeEntryName(name)) {
        *error = "refused file name: " + BaseName(file);
        return 2;
      }
      for (const std::wstring& earlier : names) {
        if (earlier.size() == name.size() &&
            std::equal(name.begin(), name.end(), earlier.begin(),
                       [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); })) {
          *error = "two files are named " + BaseName(file);
          return 2;
        }
      }
      names.push_back(name);
    }
  }
  if (!CheckChainer(request.chainer, error)) return 1;
  const std::string scratch = MakeScratchFolder();
  if (scratch.empty()) {
    *error = "cannot create a scratch folder";
    return 1;
  }
  bool ok = true;
  for (size_t g = 0; ok && g < groups.size(); ++g) {
    ok = MakeArchive(request, scratch, g, &groups[g], error);
  }
  ok = ok && WriteBundle(request, groups, error);
  RemoveTree(scratch);
  return ok ? 0 : 1;
}
