#include "download/file_digest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A file in the temporary folder, removed with the test.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    wchar_t name[MAX_PATH + 1];
    GetTempFileNameW(folder, L"md5", 0, name);
    path_ = name;
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  ~TempFile() { DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

std::string Digest(const std::wstring& path, bool* ok) {
  char text[33];
  std::memset(text, 'x', sizeof(text));
  *ok = ComputeFileMd5(path, text);
  return std::string(text);
}

TEST(FileDigestTest, PublishedTestValues) {
  EXPECT_EQ(Md5Text("", 0), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Text("a", 1), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Text("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Text("message digest", 14), "f96b697d7cb7938d525a2f31aaf161d0");
  const std::string digits =
      "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
  EXPECT_EQ(Md5Text(digits.data(), digits.size()), "57edf4a22be3c955ac49da2e2107b67a");
  // SHA-256 beside it, from the same stream; the state stays usable after a
  // look at the digests.
  StreamDigest both;
  both.Start(kDigestMd5 | kDigestSha256);
  EXPECT_EQ(both.Digests().sha256,
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  both.Update("ab", 2);
  both.Update("c", 1);
  EXPECT_EQ(both.Digests().md5, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(both.Digests().sha256,
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  both.Start(kDigestSha256);
  both.Update(message.data(), message.size());
  EXPECT_EQ(both.Digests().sha256,
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(both.Digests().md5, "") << "not asked for";
}

TEST(FileDigestTest, FilesAreHashedWholeAcrossReadBlocks) {
  bool ok = false;
  TempFile abc("abc");
  EXPECT_EQ(Digest(abc.path(), &ok), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_TRUE(ok);
  // Sizes around the 64 KiB read block: the last block is hashed, only once.
  for (size_t size : {size_t(65535), size_t(65536), size_t(65537), size_t(200001)}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 9));
    TempFile file(bytes);
    EXPECT_EQ(Digest(file.path(), &ok), Md5Text(bytes.data(), bytes.size())) << size;
    EXPECT_TRUE(ok);
  }
}

TEST(FileDigestTest, NoDigestForEmptyOrMissingFiles) {
  bool ok = true;
  TempFile empty("");
  EXPECT_EQ(Digest(empty.path(), &ok), "");  // an empty download never matches
  EXPECT_FALSE(ok);
  EXPECT_EQ(Digest(L"C:\\no\\such\\folder\\file.bin", &ok), "");
  EXPECT_FALSE(ok);
}

TEST(FileDigestTest, FileStillOpenForWritingIsRead) {
  TempFile file("abc");
  HANDLE writer = CreateFileW(file.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  bool ok = false;
  EXPECT_EQ(Digest(file.path(), &ok), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_TRUE(ok);
  CloseHandle(writer);
}

TEST(PercentDecodeTest, EscapesAndWhatStaysAsItIs) {
  EXPECT_EQ(PercentDecode(L"%41%zz%4"), L"A%zz%4");
  EXPECT_EQ(PercentDecode(L"end%"), L"end%");
  EXPECT_EQ(PercentDecode(L"%"), L"%");
  EXPECT_EQ(PercentDecode(L"%4"), L"%4");
  EXPECT_EQ(PercentDecode(L"%%41"), L"%A");  // the second "%" starts the escape
  EXPECT_EQ(PercentDecode(L"p%40ss%3aword%2F%2f"), L"p@ss:word//");
  EXPECT_EQ(PercentDecode(L"%4g%g4"), L"%4g%g4");
  EXPECT_EQ(PercentDecode(L""), L"");
  // One character per escape, no UTF-8 decoding.
  const std::wstring bytes = PercentDecode(L"%c3%a9%00x");
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], wchar_t(195));
  EXPECT_EQ(bytes[1], wchar_t(169));
  EXPECT_EQ(bytes[2], wchar_t(0));
  EXPECT_EQ(bytes[3], L'x');
}

}  // namespace
