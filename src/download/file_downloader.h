// Fetches one file into a local path over HTTP, HTTPS or FTP (or copies it
// from a file: address) with WinINet in asynchronous mode: alternative URLs,
// resuming from a ".part" file beside the target, reconnecting when the
// connection drops, progress and failures through an IProgressSink.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/digest_pipeline.h"
#include "download/digests.h"
#include "download/transfer_rules.h"
#include "util/unique_handle.h"

class CredentialStore;
class IProgressSink;

// The pieces of a URL; user and password are percent-decoded.
struct UrlParts {
  std::wstring scheme;
  INTERNET_PORT port = 0;
  std::wstring host;
  std::wstring path;
  std::wstring extra;  // the query, "?..." included
  std::wstring user;
  std::wstring password;
};

// Cracks url with InternetCrackUrlW. For a file: URL whose path starts with
// two backslashes the host is the server named there. Returns 0 or the
// Windows error.
DWORD CrackUrl(const std::wstring& url, UrlParts* parts);

// One per transfer, used on one thread. Sink and credential store stay owned
// by the caller and may be null. Every operation returns 0 or an error code:
// a download code (download/download_errors.h), or a WinINet or Windows one.
class FileDownloader {
 public:
  FileDownloader(IProgressSink* sink, CredentialStore* credentials);
  virtual ~FileDownloader();
  FileDownloader(const FileDownloader&) = delete;
  FileDownloader& operator=(const FileDownloader&) = delete;

  // The proxy server the session uses explicitly; empty for the system setting.
  virtual void SetProxy(const std::wstring& proxy);
  virtual std::wstring GetProxy() const;
  // Extra attempts when a host cannot be reached; negative values are ignored.
  virtual void SetRetryCount(int32_t count);
  // The session's connect timeout in milliseconds; 0 is ignored.
  virtual void SetConnectTimeout(uint32_t milliseconds);
  // How long an HTTP request waits for data, in milliseconds; 0 (the
  // default) keeps WinINet's own, or 30 s where WinINet has no limit at all.
  void SetReceiveTimeout(uint32_t milliseconds) { receive_timeout_ = milliseconds; }
  // Asks for the file only when newer (UTC); year 0 turns it off.
  virtual void SetIfModifiedSince(const SYSTEMTIME& time);
  // Reads the server's Last-Modified into GetLastModified.
  virtual void SetWantLastModified(bool want);
  // A new ".part" file gets a DACL for Everyone and LocalSystem only.
  virtual void SetRestrictAcl(bool restrict_acl);
  virtual SYSTEMTIME GetLastModified() const;
  // Relaxes the certificate checks and sends again, without asking the sink.
  virtual void SetAutoAcceptCertErrors(bool accept);
  // Continues from an existing ".part" file (on by default).
  virtual void SetResume(bool resume);
  // When not 0, a server-announced total of another size fails the transfer.
  virtual void SetExpectedSize(uint64_t size);
  virtual void SetSink(IProgressSink* sink);
  // Relaxes the certificate checks of every HTTPS request before it is sent.
  virtual void SetIgnoreCertErrors(bool ignore);
  // Appends "name=value" (joined by "&") to the form PostForm sends.
  virtual void AddFormField(const std::wstring& name, const std::wstring& value);
  // Content-Type of the last POST answered with 200.
  virtual std::wstring GetContentType() const;
  // The charset parameter of GetContentType (empty when none).
  virtual std::wstring GetCharset() const;
  // Status of the last HTTP response (0 before any).
  virtual uint32_t GetHttpStatus() const;
  // Sends the form by POST (HTTP and HTTPS only, else 12006) and gives the
  // body of a 200 answer decoded by its charset; 0xE000002B for another status.
  virtual uint32_t PostForm(const std::wstring& url, std::wstring* text);
  // Fetches the first URL of urls that answers into target_path (absolute),
  // through target_path + ".part". 0, 0xE0000008 when cancelled, or the error
  // that was also reported to the sink.
  virtual uint32_t DownloadToFile(const std::vector<std::wstring>& urls,
                                  const std::wstring& target_path);
  virtual uint32_t DownloadUrlToFile(const std::wstring& url, const std::wstring& target_path);
  // Whether the last DownloadToFile continued a ".part" file left by an
  // earlier transfer rather than fetching the file from its first byte.
  bool ResumedPart() const { return resumed_part_; }
  // The digests (kDigestMd5, kDigestSha256) that DownloadToFile computes of
  // the bytes it writes, a continued ".part" file's included; none by default.
  void SetDigestKinds(uint32_t kinds) { digest_kinds_ = kinds; }
  // Those digests of exactly the bytes of the file the last DownloadToFile
  // finished; empty when it failed or could not keep them exact (the file is
  // then to be read).
  FileDigests StreamedDigests() const {
    return digest_ready_ ? digest_.Settled().Digests() : FileDigests();
  }

  // The most a transfer without an expected size writes before it fails with
  // ERROR_FILE_TOO_LARGE; with an expected size, that size is the limit and
  // going past it fails with 0xE0000023. The default is far above any setup
  // file: it only keeps a body that never ends from filling the disk.
  void SetSizeLimit(uint64_t bytes) { size_limit_ = bytes; }
  static constexpr uint64_t kDefaultSizeLimit = 8ull << 30;

 private:
  enum Pending : int32_t {
    kPendingConnect = 0,
    kPendingFtpOpen = 2,
    kPendingRead = 3,
    kPendingFtpCommand = 4,
    kPendingHttpOpen = 6,
    kPendingHttpSend = 7,
  };
  enum class SourceKind { kNetwork, kLocal };

  static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                      DWORD info_length);

  // What WinINet's status callback and its asynchronous calls write into,
  // the context of every handle. It lives apart from the downloader so that
  // it can outlive it when WinINet never confirms that a handle has closed.
  struct CallbackState {
    void OnStatus(DWORD status, void* info);

    UniqueKernelHandle request_done;
    UniqueKernelHandle handle_closed;
    // Written by WinINet's threads in the status callback, read by the downloader.
    std::atomic<int32_t> pending{-1};
    std::atomic<bool> completed{false};
    std::atomic<bool> connection_closed{false};
    std::atomic<DWORD_PTR> async_result{0};
    std::atomic<DWORD> async_error{0};
    std::atomic<HINTERNET> async_handle{nullptr};
    std::wstring last_response;
    // Filled by asynchronous reads: a read still outstanding after a
    // cancellation writes here until its handle is closed.
    std::vector<char> buffer;
    INTERNET_BUFFERSA read_request = {};
    DWORD bytes_read = 0;
  };

  // Runs call (a WinINet call made with this as its context) and waits for it;
  // a handle it gives comes back in *handle. 0 or the error.
  uint32_t RunAsync(Pending pending, const std::function<BOOL(HINTERNET*)>& call,
                    HINTERNET* handle = nullptr);
  uint32_t WaitForCompletion();
  void CloseHandleAndWait(UniqueInternet* handle);
  void CloseTransferHandles();
  void CloseSession();

  uint32_t OpenSession();
  uint32_t ValidateUrls();
  uint32_t OpenWithRetries(uint64_t* offset, uint64_t* total, SourceKind* kind);
  uint32_t OpenUrl(const std::wstring& url, uint64_t* offset, uint64_t* total, SourceKind* kind);
  uint32_t OpenHttp(const std::wstring& url, const UrlParts& parts, const wchar_t* verb,
                    uint64_t* offset, uint64_t* total);
  uint32_t SendHttp(const std::wstring& url, const UrlParts& parts, const wchar_t* verb,
                    const std::wstring& first_headers, const std::string& body);
  uint32_t OpenFtp(const std::wstring& url, const UrlParts& parts, uint64_t* offset,
                   uint64_t* total);
  uint32_t ReadBlock(DWORD* got);
  uint32_t DrainResponse();
  uint32_t ReadToFile(uint64_t offset, uint64_t total, bool report_progress);
  uint32_t Reconnect(HANDLE part, uint64_t* offset, uint64_t* total);
  // A new, empty ".part" file (with the restricted DACL when asked for).
  UniqueFile CreatePart();
  // Writes a block to the ".part" file and adds it to the digest: 0 or the error.
  uint32_t WriteToPart(HANDLE part, const char* data, DWORD size);
  // Makes the digest that of the first offset bytes of the ".part" file.
  void SyncDigest(HANDLE part, uint64_t offset);
  uint32_t FinishPart(UniqueFile* part);
  uint32_t CopyLocal(const std::wstring& url);
  uint32_t Fail(uint32_t error, bool with_name);
  bool Canceled() const;
  void WaitWhilePaused();
  std::wstring TargetFileName() const;

  IProgressSink* sink_;
  CredentialStore* credentials_;
  std::vector<std::wstring> urls_;
  std::wstring target_path_;
  std::wstring part_path_;
  std::wstring proxy_;
  int32_t retry_count_ = 6;
  uint32_t connect_timeout_ = 0;
  uint32_t receive_timeout_ = 0;
  uint64_t expected_size_ = 0;
  uint64_t size_limit_ = kDefaultSizeLimit;
  bool resume_ = true;
  bool reconnect_ = true;
  SYSTEMTIME if_modified_since_ = {};
  bool want_last_modified_ = false;
  SYSTEMTIME last_modified_ = {};
  bool restrict_acl_ = false;
  bool auto_accept_cert_errors_ = false;
  bool ignore_cert_errors_ = false;
  std::wstring form_data_;
  std::wstring content_type_;
  uint32_t http_status_ = 0;
  bool posting_ = false;
  bool report_progress_ = true;
  bool resumed_part_ = false;
  uint32_t digest_kinds_ = 0;
  DigestPipeline digest_;
  // digest_ holds exactly the first digest_.size() bytes of the ".part" file.
  bool digest_exact_ = false;
  // digest_ is that of the file the last transfer finished.
  bool digest_ready_ = false;
  std::wstring current_url_;  // the URL the open handles belong to

  UniqueInternet session_;
  UniqueInternet connection_;
  UniqueInternet request_;
  std::unique_ptr<CallbackState> state_;
  // A close was not confirmed in time: state_ is never freed.
  bool close_unconfirmed_ = false;
  bool ftp_file_ = false;              // request_ is an FTP file, not an HTTP request
  uint32_t read_size_ = kMinReadSize;  // what the next read asks for
  // Which half of state_->buffer the reads fill, and how far: the other half
  // may still be hashed. A half goes to the hashing thread when the next read
  // might not fit.
  size_t read_half_ = 0;
  size_t batch_fill_ = 0;
  char* BatchStart() { return state_->buffer.data() + read_half_ * kHashBatchSize; }
  char* ReadBuffer() { return BatchStart() + batch_fill_; }
  void HandOverBatch();
  // An empty digest at the start of a transfer (a resume hashes the ".part"
  // it continues before the new bytes).
  void StartDigest();
  // A call went asynchronous and its completion has not been waited for.
  bool outstanding_ = false;
};
