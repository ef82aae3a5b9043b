// A minimal FTP server on 127.0.0.1 for the download tests: one file, passive
// mode only, REST honoured (or refused), an optional user name and password,
// every command line recorded.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "util/unique_handle.h"

class LoopbackFtp {
 public:
  // user empty: any login is accepted.
  LoopbackFtp(std::string path, std::string data, std::string user = {}, std::string password = {},
              bool honour_rest = true)
      : path_(std::move(path)),
        data_(std::move(data)),
        user_(std::move(user)),
        password_(std::move(password)),
        honour_rest_(honour_rest) {
    WSADATA wsa;
    started_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    listener_ = Listen(&port_);
    if (listener_ != INVALID_SOCKET)
      thread_.reset(CreateThread(nullptr, 0, Serve, this, 0, nullptr));
  }
  ~LoopbackFtp() {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (thread_) WaitForSingleObject(thread_.get(), 20000);
    if (started_) WSACleanup();
  }
  LoopbackFtp(const LoopbackFtp&) = delete;
  LoopbackFtp& operator=(const LoopbackFtp&) = delete;

  unsigned short port() const { return port_; }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  static SOCKET Listen(unsigned short* port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (s == INVALID_SOCKET ||
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0 || listen(s, 4) != 0) {
      if (s != INVALID_SOCKET) closesocket(s);
      return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return s;
  }

  static DWORD WINAPI Serve(void* parameter) {
    auto* self = static_cast<LoopbackFtp*>(parameter);
    for (;;) {
      SOCKET client = accept(self->listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return 0;
      self->Session(client);
      closesocket(client);
    }
  }

  static void Reply(SOCKET client, const std::string& line) {
    const std::string text = line + "\r\n";
    send(client, text.data(), static_cast<int>(text.size()), 0);
  }

  void Session(SOCKET client) {
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    Reply(client, "220 ready");
    std::string pending;
    std::string user;
    size_t rest = 0;
    SOCKET passive = INVALID_SOCKET;
    char buffer[1024];
    for (;;) {
      size_t end;
      while ((end = pending.find("\r\n")) == std::string::npos) {
        int got = recv(client, buffer, sizeof(buffer), 0);
        if (got <= 0) {
          if (passive != INVALID_SOCKET) closesocket(passive);
          return;
        }
        pending.append(buffer, got);
      }
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 2);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(line);
      }
      const std::string verb = line.substr(0, line.find(' '));
      const std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
      if (verb == "USER") {
        user = argument;
        Reply(client, "331 password please");
      } else if (verb == "PASS") {
        Reply(client, user_.empty() || (user == user_ && argument == password_)
                          ? "230 logged in"
                          : "530 login incorrect");
      } else if (verb == "TYPE" || verb == "MODE" || verb == "STRU") {
        Reply(client, "200 ok");
      } else if (verb == "PWD") {
        Reply(client, "257 \"/\"");
      } else if (verb == "CWD") {
        Reply(client, "250 ok");
      } else if (verb == "SIZE") {
        Reply(client, argument == path_ ? "213 " + std::to_string(data_.size()) : "550 no file");
      } else if (verb == "REST" && honour_rest_) {
        rest = strtoul(argument.c_str(), nullptr, 10);
        Reply(client, "350 Restarting at " + argument);
      } else if (verb == "PASV") {
        if (passive != INVALID_SOCKET) closesocket(passive);
        unsigned short port = 0;
        passive = Listen(&port);
        Reply(client, "227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," +
                          std::to_string(port & 0xFF) + ")");
      } else if (verb == "RETR") {
        if (argument != path_ || passive == INVALID_SOCKET) {
          Reply(client, "550 no such file");
          continue;
        }
        Reply(client, "150 opening data connection");
        SOCKET data = accept(passive, nullptr, nullptr);
        closesocket(passive);
        passive = INVALID_SOCKET;
        if (data != INVALID_SOCKET) {
          const size_t from = std::min(rest, data_.size());
          send(data, data_.data() + from, static_cast<int>(data_.size() - from), 0);
          shutdown(data, SD_SEND);
          closesocket(data);
        }
        rest = 0;
        Reply(client, "226 done");
      } else if (verb == "QUIT") {
        Reply(client, "221 bye");
        if (passive != INVALID_SOCKET) closesocket(passive);
        return;
      } else {
        Reply(client, "502 not implemented");
      }
    }
  }

  std::string path_;
  std::string data_;
  std::string user_;
  std::string password_;
  bool honour_rest_;
  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  UniqueKernelHandle thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
};
