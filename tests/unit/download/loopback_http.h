// A scripted HTTP server on 127.0.0.1 (ephemeral port) for the download tests.
// Each connection carries one request; a handler decides the answer: a status
// line and headers, a body, optionally cut short (closed gracefully or reset)
// or sent slowly. Every request is recorded with its head and body.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "util/unique_handle.h"

struct LoopbackRequest {
  std::string method;
  std::string path;  // with the query
  std::string head;  // request line and headers, as received
  std::string body;

  // The value of header name (case-insensitive), empty when absent.
  std::string Header(const std::string& name) const {
    const std::string wanted = "\r\n" + Lower(name) + ":";
    const std::string lower = Lower(head);
    size_t at = lower.find(wanted);
    if (at == std::string::npos) return {};
    at += wanted.size();
    while (at < head.size() && head[at] == ' ') ++at;
    return head.substr(at, head.find("\r\n", at) - at);
  }
  bool HasHeader(const std::string& name) const {
    return Lower(head).find("\r\n" + Lower(name) + ":") != std::string::npos;
  }
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
  }
};

struct LoopbackResponse {
  std::string head;  // "HTTP/1.1 200 OK\r\nHeader: v\r\n" (Connection and the blank line follow)
  std::string body;
  size_t body_bytes_to_send = std::string::npos;  // fewer: the connection ends early
  bool reset = false;                             // end with a reset instead of a close
  bool drop_before_head = false;                  // reset before sending anything
  size_t chunk = 0;                               // with chunk_delay_ms: a slow body
  DWORD chunk_delay_ms = 0;

  // status with Content-Length: body.size() (or announced when not npos).
  static LoopbackResponse Make(int status, std::string body, std::string headers = {},
                               size_t announced = std::string::npos) {
    LoopbackResponse r;
    r.head = "HTTP/1.1 " + std::to_string(status) + " Status\r\n" + headers + "Content-Length: " +
             std::to_string(announced == std::string::npos ? body.size() : announced) + "\r\n";
    r.body = std::move(body);
    return r;
  }
};

class LoopbackHttp {
 public:
  using Handler = std::function<LoopbackResponse(const LoopbackRequest&, int index)>;

  explicit LoopbackHttp(Handler handler) : handler_(std::move(handler)) {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        listen(listener_, 16) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_.reset(CreateThread(nullptr, 0, Serve, this, 0, nullptr));
  }
  ~LoopbackHttp() {
    stopping_ = true;
    if (listener_ != INVALID_SOCKET) closesocket(listener_);  // ends accept()
    if (thread_) WaitForSingleObject(thread_.get(), 20000);
    if (started_) WSACleanup();
  }
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  unsigned short port() const { return port_; }
  std::wstring Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
  }
  std::vector<LoopbackRequest> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  size_t request_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
  }

 private:
  static DWORD WINAPI Serve(void* parameter) {
    auto* self = static_cast<LoopbackHttp*>(parameter);
    for (;;) {
      SOCKET client = accept(self->listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return 0;
      self->Answer(client);
    }
  }

  void Answer(SOCKET client) {
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    std::string data;
    char buffer[4096];
    size_t head_end;
    while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
      int got = recv(client, buffer, sizeof(buffer), 0);
      if (got <= 0) {
        closesocket(client);
        return;
      }
      data.append(buffer, got);
    }
    LoopbackRequest request;
    request.head = data.substr(0, head_end + 2);
    request.method = request.head.substr(0, request.head.find(' '));
    const size_t path_start = request.method.size() + 1;
    request.path = request.head.substr(path_start, request.head.find(' ', path_start) - path_start);
    request.body = data.substr(head_end + 4);
    const size_t length = strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
    while (request.body.size() < length) {
      int got = recv(client, buffer, sizeof(buffer), 0);
      if (got <= 0) break;
      request.body.append(buffer, got);
    }
    int index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = static_cast<int>(requests_.size());
      requests_.push_back(request);
    }
    LoopbackResponse response = handler_(request, index);
    const std::string head = response.head + "Connection: close\r\n\r\n";
    bool ok = !response.drop_before_head && SendAll(client, head.data(), head.size());
    const size_t body_size = std::min(response.body.size(), response.body_bytes_to_send);
    const size_t chunk = response.chunk != 0 ? response.chunk : body_size;
    for (size_t sent = 0; ok && sent < body_size && !stopping_; sent += chunk) {
      ok = SendAll(client, response.body.data() + sent, std::min(chunk, body_size - sent));
      if (response.chunk_delay_ms != 0) Sleep(response.chunk_delay_ms);
    }
    if (response.reset || response.drop_before_head) {
      linger hard = {1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    } else {
      // The end of data, then whatever the client still sends is read until
      // it closes (as real servers linger): closing a socket with unread
      // input sends a reset, and a reset throws away the client's unread
      // tail of the body.
      shutdown(client, SD_SEND);
      char drain[4096];
      while (recv(client, drain, sizeof(drain), 0) > 0) {
      }
    }
    closesocket(client);
  }

  static bool SendAll(SOCKET client, const char* data, size_t size) {
    while (size > 0) {
      int sent = send(client, data, static_cast<int>(std::min<size_t>(size, 65536)), 0);
      if (sent <= 0) return false;
      data += sent;
      size -= sent;
    }
    return true;
  }

  Handler handler_;
  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  UniqueKernelHandle thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<LoopbackRequest> requests_;
};
