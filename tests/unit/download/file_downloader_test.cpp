#include "download/file_downloader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/credential_store.h"
#include "download/download_errors.h"
#include "download_test_support.h"
#include "install/process_launch.h"

namespace {

TEST(FileDownloaderTest, WholeFileArrivesExactlyWithProgressAndNoPartLeft) {
  const std::string data = Pattern(2600000);  // more than one read, and hashed in batches
  LoopbackHttp server(ServeFile(data, "/dl/setup.exe?lang=en"));
  ASSERT_NE(0, server.port());
  TempFolder folder;
  const std::wstring target = folder.Path(L"sub\\setup.exe");
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);

  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/dl/setup.exe?lang=en"), target));
  EXPECT_EQ(data, ReadAll(target));
  ExpectStreamedDigestsOf(downloader, target);
  EXPECT_FALSE(Exists(target + L".part"));
  EXPECT_EQ(1, sink.begins);
  EXPECT_EQ(1, sink.begin_kind);
  EXPECT_EQ(data.size(), sink.begin_total);
  EXPECT_EQ(target, sink.begin_path);
  EXPECT_EQ(data.size(), sink.bytes);
  EXPECT_EQ(1, sink.ends);
  EXPECT_TRUE(sink.errors.empty());
  ASSERT_EQ(1u, server.request_count());
  EXPECT_EQ(200u, downloader.GetHttpStatus());
  const LoopbackRequest request = server.requests()[0];
  EXPECT_EQ("GET", request.method);
  EXPECT_FALSE(request.HasHeader("Range"));
  EXPECT_FALSE(request.HasHeader("If-Modified-Since"));
  EXPECT_EQ("Corvane", request.Header("User-Agent"));
}

// A ".part" file of 1000 bytes and a 206 answer with 500 more: total 1500,
// the new bytes appended after the old ones.
TEST(FileDownloaderTest, PartFileResumesWithRangeAnd206Appends) {
  const std::string data = Pattern(1500);
  LoopbackHttp server([&](const LoopbackRequest&, int) {
    return LoopbackResponse::Make(206, data.substr(1000),
                                  "Content-Range: bytes 1000-1499/1500\r\n");
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  WriteAll(target + L".part", data.substr(0, 1000));
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  ExpectStreamedDigestsOf(downloader, target);  // the kept bytes hashed too
  EXPECT_FALSE(Exists(target + L".part"));
  EXPECT_EQ(1500u, sink.begin_total);
  EXPECT_EQ(1500u, sink.bytes) << "the resumed bytes count as done";
  ASSERT_EQ(1u, server.request_count());
  EXPECT_EQ("bytes=1000-", server.requests()[0].Header("Range"));
}

// A 206 without a length (the end of the connection ends the body) still
// continues the file after what the ".part" file holds.
TEST(FileDownloaderTest, PartialAnswerWithoutLengthStillAppends) {
  const std::string data = Pattern(9000, 21);
  LoopbackHttp server([&](const LoopbackRequest&, int) {
    LoopbackResponse r;
    r.head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 4000-8999/9000\r\n";
    r.body = data.substr(4000);
    return r;
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  WriteAll(target + L".part", data.substr(0, 4000));
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  EXPECT_EQ(0u, sink.begin_total) << "the size is not known";
  EXPECT_EQ(data.size(), sink.bytes);
}

// A server that ignores the range sends the whole file: it replaces the
// ".part" contents; when its file is not longer than what is held, the
// ".part" file cannot be its head and the file is fetched from the start.
TEST(FileDownloaderTest, ServerIgnoringRangeRestartsAlsoWhenShorter) {
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  const std::string old_part(1000, 'x');
  {
    const std::string data = Pattern(1500, 3);
    LoopbackHttp server(
        [&](const LoopbackRequest&, int) { return LoopbackResponse::Make(200, data); });
    WriteAll(target + L".part", old_part);
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
    ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
    EXPECT_EQ(data, ReadAll(target));
    ExpectStreamedDigestsOf(downloader, target);  // not the old part's bytes
    EXPECT_EQ(1500u, sink.bytes);
    EXPECT_EQ("bytes=1000-", server.requests()[0].Header("Range"));
  }
  {
    DeleteFileW(target.c_str());
    LoopbackHttp server(
        [&](const LoopbackRequest&, int) { return LoopbackResponse::Make(200, Pattern(800)); });
    WriteAll(target + L".part", old_part);
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
    ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
    EXPECT_EQ(Pattern(800), ReadAll(target));
    ExpectStreamedDigestsOf(downloader, target);
    EXPECT_FALSE(downloader.ResumedPart());
    ASSERT_EQ(2u, server.request_count());
    EXPECT_FALSE(server.requests()[1].HasHeader("Range"));
    EXPECT_TRUE(sink.errors.empty());
  }
}

// A 416 that does not confirm the ".part" file complete: the file comes once
// more from its first byte in the same transfer; a second refusal is
// reported like any other, and the ".part" file that could never be resumed
// is gone either way.
TEST(FileDownloaderTest, PartTheServerCannotContinueIsFetchedAgainOnce) {
  const std::string data = Pattern(1500, 4);
  for (const char* range : {"", "Content-Range: bytes */800\r\n"}) {
    SCOPED_TRACE(range);
    for (bool second_refused : {false, true}) {
      LoopbackHttp server([&](const LoopbackRequest& request, int) {
        if (request.HasHeader("Range") || second_refused) {
          return LoopbackResponse::Make(416, "no such range", range);
        }
        return LoopbackResponse::Make(200, data);
      });
      TempFolder folder;
      const std::wstring target = folder.Path(L"setup.exe");
      WriteAll(target + L".part", Pattern(1000, 9));
      RecordingSink sink;
      FileDownloader downloader(&sink, nullptr);
      downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
      const uint32_t result = downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target);
      ASSERT_EQ(2u, server.request_count());
      EXPECT_FALSE(server.requests()[1].HasHeader("Range"));
      EXPECT_FALSE(Exists(target + L".part"));
      if (second_refused) {
        EXPECT_EQ(HttpStatusError(416), result);
        EXPECT_EQ(std::vector<uint32_t>{HttpStatusError(416)}, sink.errors);
        EXPECT_FALSE(Exists(target));
        EXPECT_EQ("", downloader.StreamedDigests().sha256) << "no file, no digest";
      } else {
        EXPECT_EQ(0u, result);
        EXPECT_EQ(data, ReadAll(target));
        ExpectStreamedDigestsOf(downloader, target);
        EXPECT_TRUE(sink.errors.empty());
      }
    }
  }
}

// A server that accepts the connection (the listening socket's backlog does)
// and never answers: the transfer ends when no data came in time, and its
// failure is told in words from WinINet's own message table.
TEST(FileDownloaderTest, SilentServerEndsInATimeoutToldInWords) {
  WSADATA data;
  ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size));
  ASSERT_EQ(0, listen(listener, 4));
  TempFolder folder;
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  downloader.SetReceiveTimeout(1000);
  downloader.SetRetryCount(0);
  const DWORD start = GetTickCount();
  const uint32_t result = downloader.DownloadUrlToFile(
      L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/setup.exe",
      folder.Path(L"setup.exe"));
  EXPECT_LT(GetTickCount() - start, 15000u);
  // Windows says 12002 (timeout); Wine ends the request as 12030 (terminated).
  EXPECT_TRUE(result == 12002u || result == 12030u) << result;
  EXPECT_NE(SystemMessageText(result), std::to_wstring(result));
  closesocket(listener);
  WSACleanup();
}

// Refusals map to their codes, reported with the file name; "not modified"
// is an outcome and is not reported. Nothing is written.
TEST(FileDownloaderTest, RefusalsGiveTheirCodes) {
  struct Case {
    int status;
    uint32_t code;
    bool reported;
  };
  const Case cases[] = {{404, kDownloadNotFound, true},
                        {410, kDownloadNotFound, true},
                        {403, kDownloadForbidden, true},
                        {304, kDownloadNotModified, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    LoopbackHttp server([&](const LoopbackRequest&, int) {
      return LoopbackResponse::Make(c.status, c.status == 304 ? "" : "refused");
    });
    TempFolder folder;
    const std::wstring target = folder.Path(L"a.msi");
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    EXPECT_EQ(c.code, downloader.DownloadUrlToFile(server.Url(L"/a.msi"), target));
    EXPECT_EQ(static_cast<uint32_t>(c.status), downloader.GetHttpStatus());
    EXPECT_EQ(1u, server.request_count()) << "a single URL is not tried again";
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(Exists(target + L".part"));
    if (c.reported) {
      ASSERT_EQ(1u, sink.errors.size());
      EXPECT_EQ(c.code, sink.errors[0]);
      EXPECT_EQ(L"a.msi", sink.error_texts[0]);
    } else {
      EXPECT_TRUE(sink.errors.empty());
    }
  }
}

// An answer that is not the file (an error page, a redirect not followed, a
// 206 for another range) must leave the ".part" file
// and an earlier target as they were, and fail with what the server said.
TEST(FileDownloaderTest, UnusableAnswersKeepThePartFileAndTheTarget) {
  struct Case {
    std::string head;
    uint32_t code;
  };
  const Case cases[] = {
      {"HTTP/1.1 500 Broken\r\n", HttpStatusError(500)},
      {"HTTP/1.1 503 Busy\r\n", HttpStatusError(503)},
      {"HTTP/1.1 300 Choices\r\n", HttpStatusError(300)},
      {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/1100\r\n", kDownloadRangeMismatch},
  };
  const std::string old_part = Pattern(1000, 8);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    LoopbackHttp server([&](const LoopbackRequest&, int) {
      LoopbackResponse r;
      r.head = c.head + "Content-Length: 100\r\n";
      r.body = std::string(100, 'e');
      return r;
    });
    TempFolder folder;
    const std::wstring target = folder.Path(L"setup.exe");
    WriteAll(target + L".part", old_part);
    WriteAll(target, "older download");
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    EXPECT_EQ(c.code, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
    EXPECT_EQ(old_part, ReadAll(target + L".part"));
    EXPECT_EQ("older download", ReadAll(target));
    EXPECT_EQ(std::vector<uint32_t>{c.code}, sink.errors);
    EXPECT_EQ(0u, sink.bytes);
  }
}

// A run that stopped between the last write and the rename left the whole
// file in ".part": the server's 416 naming that size finishes it unread.
TEST(FileDownloaderTest, RangeBeyondTheEndOfACompletePartFinishesIt) {
  const std::string data = Pattern(3000, 2);
  LoopbackHttp server([&](const LoopbackRequest&, int) {
    return LoopbackResponse::Make(416, "no such range", "Content-Range: bytes */3000\r\n");
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  WriteAll(target + L".part", data);
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  ExpectStreamedDigestsOf(downloader, target);
  EXPECT_TRUE(downloader.ResumedPart());
  EXPECT_FALSE(Exists(target + L".part"));
  EXPECT_EQ(3000u, sink.begin_total);
  EXPECT_EQ(1, sink.ends);
}

// Without a length the body ends only when the server stops: no more than
// the expected size reaches the disk, and without one the limit stops it.
TEST(FileDownloaderTest, BodyLongerThanAllowedStopsAtTheLimit) {
  const std::string data = Pattern(400000, 6);
  LoopbackHttp server([&](const LoopbackRequest&, int) {
    LoopbackResponse r;
    r.head = "HTTP/1.0 200 OK\r\n";  // no Content-Length
    r.body = data;
    return r;
  });
  struct Case {
    uint64_t expected, limit;
    uint32_t code;
    size_t kept;
  };
  for (const Case& c : {Case{70000, 0, kDownloadSizeMismatch, 70000},
                        Case{0, 120000, static_cast<uint32_t>(ERROR_FILE_TOO_LARGE), 120000},
                        Case{400000, 0, 0, 400000}}) {
    SCOPED_TRACE(c.expected);
    TempFolder folder;
    const std::wstring target = folder.Path(L"setup.exe");
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    downloader.SetExpectedSize(c.expected);
    if (c.limit != 0) downloader.SetSizeLimit(c.limit);
    EXPECT_EQ(c.code, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
    const std::string kept = ReadAll(c.code == 0 ? target : target + L".part");
    EXPECT_EQ(data.substr(0, c.kept), kept);
    EXPECT_EQ(c.kept, sink.bytes);
    EXPECT_EQ(c.code == 0 ? 0u : 1u, sink.errors.size());
  }
}

TEST(FileDownloaderTest, IfModifiedSinceHeaderIsSent) {
  LoopbackHttp server([&](const LoopbackRequest&, int) { return LoopbackResponse::Make(304, ""); });
  TempFolder folder;
  FileDownloader downloader(nullptr, nullptr);
  SYSTEMTIME since = {};
  since.wYear = 2026;
  since.wMonth = 12;
  since.wDay = 8;
  since.wDayOfWeek = 0;  // wrong on purpose: the header's day comes from the date
  since.wHour = 7;
  since.wMinute = 5;
  since.wSecond = 9;
  downloader.SetIfModifiedSince(since);
  EXPECT_EQ(kDownloadNotModified,
            downloader.DownloadUrlToFile(server.Url(L"/a.msi"), folder.Path(L"a.msi")));
  ASSERT_EQ(1u, server.request_count());
  EXPECT_EQ("Tue, 08 Dec 2026 07:05:09 GMT", server.requests()[0].Header("If-Modified-Since"));
}

// A missing file on one of several URLs moves on to the next; the attempts
// are the retry count plus the first one, or one per URL when there are more.
TEST(FileDownloaderTest, NotFoundRotatesThroughUrlsAndCountsAttempts) {
  const std::string data = Pattern(3000);
  LoopbackHttp server(ServeFile(data, "/good.exe"));
  TempFolder folder;
  {
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    ASSERT_EQ(0u, downloader.DownloadToFile({server.Url(L"/gone.exe"), server.Url(L"/good.exe")},
                                            folder.Path(L"good.exe")));
    EXPECT_EQ(data, ReadAll(folder.Path(L"good.exe")));
    EXPECT_TRUE(sink.errors.empty());
    ASSERT_EQ(2u, server.request_count());
    EXPECT_EQ("/gone.exe", server.requests()[0].path);
    EXPECT_EQ("/good.exe", server.requests()[1].path);
  }
  struct Case {
    int32_t retry_count;
    size_t attempts;
  };
  for (const Case& c : {Case{-1, 7}, Case{6, 7}, Case{0, 2}, Case{2, 3}}) {
    SCOPED_TRACE(c.retry_count);
    LoopbackHttp missing(
        [](const LoopbackRequest&, int) { return LoopbackResponse::Make(404, ""); });
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    downloader.SetRetryCount(c.retry_count);  // negative: ignored, 6 stays
    EXPECT_EQ(kDownloadNotFound, downloader.DownloadToFile({missing.Url(L"/a"), missing.Url(L"/b")},
                                                           folder.Path(L"x.exe")));
    ASSERT_EQ(c.attempts, missing.request_count());
    EXPECT_EQ("/a", missing.requests()[0].path);
    EXPECT_EQ("/b", missing.requests()[1].path);
    if (c.attempts > 2) {
      EXPECT_EQ("/a", missing.requests()[2].path) << "after the last, the first";
    }
    EXPECT_EQ(1u, sink.errors.size()) << "only the final failure is reported";
  }
}

class CountingStore : public CredentialStore {
 public:
  void AllowRemembered() override {
    ++allowed;
    CredentialStore::AllowRemembered();
  }
  LONG allowed = 0;
};

// An unresolvable host: the next URL at once; alone, its error after the retries.
TEST(FileDownloaderTest, UnresolvableHostMovesToTheNextUrl) {
  const std::string data = Pattern(2000);
  LoopbackHttp server(ServeFile(data));
  TempFolder folder;
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  ASSERT_EQ(0u, downloader.DownloadToFile(
                    {L"http://nonexistent.invalid/setup.exe", server.Url(L"/setup.exe")},
                    folder.Path(L"setup.exe")));
  EXPECT_EQ(data, ReadAll(folder.Path(L"setup.exe")));
  EXPECT_TRUE(sink.errors.empty());

  // Alone it is tried the retry count and once more. Every attempt that gets
  // as far as sending lets remembered credentials be offered again, once
  // more than the transfer itself does: that counts the attempts.
  struct {
    int32_t retry_count;
    LONG attempts;
  } cases[] = {{-1, 7}, {2, 3}, {0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.retry_count);
    CountingStore store;
    RecordingSink alone_sink;
    FileDownloader alone(&alone_sink, &store);
    alone.SetRetryCount(c.retry_count);
    EXPECT_EQ(12007u, alone.DownloadUrlToFile(L"http://nonexistent.invalid/setup.exe",
                                              folder.Path(L"other.exe")));
    EXPECT_EQ(1 + c.attempts, store.allowed);
    ASSERT_EQ(1u, alone_sink.errors.size());
    EXPECT_EQ(12007u, alone_sink.errors[0]);
    EXPECT_EQ(L"other.exe", alone_sink.error_texts[0]);
  }
}

// The connection ends after part of the body: the next request asks for the
// rest from exactly the bytes written, and the file comes out whole. The cut
// lies past the first batch of bytes handed to the hashing thread.
TEST(FileDownloaderTest, DroppedConnectionReconnectsWithRangeOfWhatWasWritten) {
  const std::string data = Pattern(2500000, 11);
  for (bool reset : {false, true}) {
    SCOPED_TRACE(reset);
    LoopbackHttp server([&](const LoopbackRequest& request, int index) {
      if (index == 0) {
        LoopbackResponse cut = LoopbackResponse::Make(200, data);
        cut.body_bytes_to_send = 1300000;
        cut.reset = reset;
        return cut;
      }
      size_t from = strtoul(request.Header("Range").c_str() + 6, nullptr, 10);
      return LoopbackResponse::Make(206, data.substr(from));
    });
    TempFolder folder;
    const std::wstring target = folder.Path(L"setup.exe");
    RecordingSink sink;
    FileDownloader downloader(&sink, nullptr);
    downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
    ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
    EXPECT_EQ(data, ReadAll(target));
    ExpectStreamedDigestsOf(downloader, target);
    EXPECT_FALSE(Exists(target + L".part"));
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_EQ(data.size(), sink.bytes);
    // What was written decides the reconnect's offset: all that a closed
    // connection carried; after a reset, what arrived before it.
    const std::vector<LoopbackRequest> requests = server.requests();
    ASSERT_EQ(2u, requests.size());
    const std::string range = requests[1].Header("Range");
    ASSERT_EQ(0u, range.rfind("bytes=", 0)) << range;
    if (reset) {
      EXPECT_LE(strtoul(range.c_str() + 6, nullptr, 10), 1300000u) << range;
    } else {
      EXPECT_EQ("bytes=1300000-", range);
    }
  }
}

// The new connection after a drop can itself be dropped before its answer
// (a server restarting): that is one more reconnect, not the end.
TEST(FileDownloaderTest, ReconnectDroppedBeforeItsAnswerIsTriedAgain) {
  const std::string data = Pattern(150000, 5);
  LoopbackHttp server([&](const LoopbackRequest& request, int index) {
    LoopbackResponse response;
    if (index == 0) {
      response = LoopbackResponse::Make(200, data);
      response.body_bytes_to_send = 70000;
    } else if (index == 1) {
      response.drop_before_head = true;
    } else {
      size_t from = strtoul(request.Header("Range").c_str() + 6, nullptr, 10);
      response = LoopbackResponse::Make(206, data.substr(from));
    }
    return response;
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  FileDownloader downloader(nullptr, nullptr);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  EXPECT_EQ(3u, server.request_count());
}

// A ".part" file from an earlier run, continued over a connection cut twice:
// the kept bytes are hashed once and every later byte once, whatever offsets
// the reconnects take.
TEST(FileDownloaderTest, ResumedPartCutTwiceHashesEveryByteOnce) {
  const std::string data = Pattern(200000, 13);
  LoopbackHttp server([&](const LoopbackRequest& request, int index) {
    const size_t from = strtoul(request.Header("Range").c_str() + 6, nullptr, 10);
    LoopbackResponse response = LoopbackResponse::Make(206, data.substr(from));
    if (index < 2) response.body_bytes_to_send = 50000;
    return response;
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  WriteAll(target + L".part", data.substr(0, 30000));
  FileDownloader downloader(nullptr, nullptr);
  downloader.SetDigestKinds(kDigestMd5 | kDigestSha256);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  ExpectStreamedDigestsOf(downloader, target);
  ASSERT_EQ(3u, server.request_count());
  EXPECT_EQ("bytes=30000-", server.requests()[0].Header("Range"));
  EXPECT_EQ("bytes=80000-", server.requests()[1].Header("Range"));
  EXPECT_EQ("bytes=130000-", server.requests()[2].Header("Range"));
}

// A server that keeps cutting the body short without sending anything new
// does not hold the transfer for ever; the ".part" file keeps what came.
TEST(FileDownloaderTest, EndlessDropsWithoutProgressFail) {
  const std::string data = Pattern(5000);
  LoopbackHttp server([&](const LoopbackRequest&, int index) {
    LoopbackResponse cut =
        index == 0 ? LoopbackResponse::Make(200, data) : LoopbackResponse::Make(206, "", "", 3000);
    cut.body_bytes_to_send = index == 0 ? 2000 : 0;
    return cut;
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  downloader.SetRetryCount(2);
  EXPECT_EQ(kDownloadPrematureEnd, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data.substr(0, 2000), ReadAll(target + L".part"));
  EXPECT_FALSE(Exists(target));
  EXPECT_EQ(3u, server.request_count()) << "the first request and two reconnects";
  ASSERT_EQ(1u, sink.errors.size());
}

TEST(FileDownloaderTest, ExpectedSizeMustMatchTheAnnouncedTotal) {
  const std::string data = Pattern(4000);
  LoopbackHttp server(ServeFile(data));
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  RecordingSink sink;
  FileDownloader wrong(&sink, nullptr);
  wrong.SetExpectedSize(4001);
  EXPECT_EQ(kDownloadSizeMismatch, wrong.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_FALSE(Exists(target));
  ASSERT_EQ(1u, sink.errors.size());
  EXPECT_EQ(kDownloadSizeMismatch, sink.errors[0]);
  EXPECT_EQ(L"setup.exe", sink.error_texts[0]);

  FileDownloader right(nullptr, nullptr);
  right.SetExpectedSize(4000);
  EXPECT_EQ(0u, right.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
}

// Sizes of 4 GiB and more: the resume offset goes out whole in the Range line
// and the total announced by a 206 adds up without wrapping.
TEST(FileDownloaderTest, OffsetsBeyondFourGigabytesStayWhole) {
  const uint64_t offset = 0x100000010ull;
  LoopbackHttp server(
      [&](const LoopbackRequest&, int) { return LoopbackResponse::Make(206, "", "", 0); });
  TempFolder folder;
  const std::wstring target = folder.Path(L"big.bin");
  {
    HANDLE file = CreateFileW((target + L".part").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    bool sized = SetFilePointerEx(file, to, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!sized) GTEST_SKIP() << "no room for a sparse 4 GiB file";
  }
  FileDownloader downloader(nullptr, nullptr);
  downloader.DownloadUrlToFile(server.Url(L"/big.bin"), target);
  DeleteFileW((target + L".part").c_str());
  DeleteFileW(target.c_str());
  ASSERT_EQ(1u, server.request_count());
  EXPECT_EQ("bytes=4294967312-", server.requests()[0].Header("Range"));
}

TEST(FileDownloaderTest, BadArgumentsFailBeforeAnyRequest) {
  LoopbackHttp server(ServeFile("data"));
  RecordingSink sink;
  FileDownloader downloader(&sink, nullptr);
  EXPECT_EQ(kDownloadTargetNotAbsolute,
            downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), L"relative\\setup.exe"));
  EXPECT_EQ(kDownloadTargetNotAbsolute,
            downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), L"\\rooted\\setup.exe"));
  EXPECT_EQ(kDownloadUnsupportedScheme, downloader.DownloadToFile({}, L"C:\\x\\setup.exe"));
  EXPECT_EQ(kDownloadUnsupportedScheme,
            downloader.DownloadToFile({server.Url(L"/setup.exe"), L"gopher://h/setup.exe"},
                                      L"C:\\x\\setup.exe"));
  EXPECT_EQ(0u, server.request_count());
  const std::vector<uint32_t> expected = {kDownloadTargetNotAbsolute, kDownloadTargetNotAbsolute,
                                          kDownloadUnsupportedScheme, kDownloadUnsupportedScheme};
  EXPECT_EQ(expected, sink.errors);
  for (const std::wstring& text : sink.error_texts) EXPECT_EQ(L"", text);
}

// Cancelling in the middle of a slow body: no report, the ".part" file keeps
// what arrived, and the next transfer continues from it.
TEST(FileDownloaderTest, CancelKeepsThePartFileForTheNextTransfer) {
  const std::string data = Pattern(200000, 5);
  LoopbackHttp server([&](const LoopbackRequest& request, int index) {
    if (index == 0) {
      LoopbackResponse slow = LoopbackResponse::Make(200, data);
      slow.chunk = 8192;
      slow.chunk_delay_ms = 20;
      return slow;
    }
    size_t from = strtoul(request.Header("Range").c_str() + 6, nullptr, 10);
    return LoopbackResponse::Make(206, data.substr(from));
  });
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  RecordingSink sink;
  sink.cancel_after = 20000;
  {
    FileDownloader downloader(&sink, nullptr);
    EXPECT_EQ(kDownloadCanceled, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  }
  EXPECT_TRUE(sink.errors.empty());
  EXPECT_EQ(0, sink.ends);
  EXPECT_FALSE(Exists(target));
  const std::string part = ReadAll(target + L".part");
  ASSERT_GE(part.size(), 20000u);
  ASSERT_LT(part.size(), data.size());
  EXPECT_EQ(data.substr(0, part.size()), part);

  RecordingSink next_sink;
  FileDownloader next(&next_sink, nullptr);
  next.SetDigestKinds(kDigestMd5 | kDigestSha256);
  ASSERT_EQ(0u, next.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  ExpectStreamedDigestsOf(next, target);
  ASSERT_EQ(2u, server.request_count());
  EXPECT_EQ("bytes=" + std::to_string(part.size()) + "-", server.requests()[1].Header("Range"));
}

// Without resume an existing ".part" file is overwritten from the start.
TEST(FileDownloaderTest, ResumeOffStartsOver) {
  const std::string data = Pattern(3000);
  LoopbackHttp server(ServeFile(data));
  TempFolder folder;
  const std::wstring target = folder.Path(L"setup.exe");
  WriteAll(target + L".part", std::string(5000, 'z'));
  FileDownloader downloader(nullptr, nullptr);
  downloader.SetResume(false);
  ASSERT_EQ(0u, downloader.DownloadUrlToFile(server.Url(L"/setup.exe"), target));
  EXPECT_EQ(data, ReadAll(target));
  EXPECT_FALSE(server.requests()[0].HasHeader("Range"));
}

}  // namespace
