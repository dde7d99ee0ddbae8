#include "quote_server.h"

#include <gtest/gtest.h>

#include <chrono>

namespace testing_support {
namespace {

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

std::string QuoteReply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         body;
}

QuoteServer::QuoteServer(unsigned short port) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  // Exclusive, so a server left over elsewhere on the port shows up as a failure here.
  BOOL exclusive = TRUE;
  setsockopt(listener_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 8) != 0) {
    ADD_FAILURE() << "port " << port << " is taken";
  }
  thread_ = std::thread([this] { Serve(); });
}

QuoteServer::~QuoteServer() {
  stop_ = true;
  thread_.join();
  for (std::thread& t : conversations_) t.join();
  closesocket(listener_);
  WSACleanup();
}

void QuoteServer::Push(ConnectionScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripts_.push_back(std::move(script));
}

std::vector<std::string> QuoteServer::RequestLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return request_lines_;
}

void QuoteServer::Serve() {
  while (!stop_) {
    if (!Readable(listener_, 10)) continue;
    SOCKET connection = accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    ++connections_;
    ConnectionScript script;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!scripts_.empty()) {
        script = scripts_.front();
        scripts_.pop_front();
      }
    }
    conversations_.emplace_back([this, connection, script] { Converse(connection, script); });
  }
}

void QuoteServer::Converse(SOCKET connection, ConnectionScript script) {
  int now_open = ++open_;
  for (int most = most_open_; now_open > most && !most_open_.compare_exchange_weak(most, now_open);) {
  }
  std::string request;
  char buffer[4096];
  while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
    if (!Readable(connection, 10)) continue;
    int n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    request_lines_.push_back(request.substr(0, request.find("\r\n")));
  }
  send(connection, script.head.data(), static_cast<int>(script.head.size()), 0);
  auto start = std::chrono::steady_clock::now();
  while (!stop_ && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(script.pause_ms)) Sleep(5);
  send(connection, script.tail.data(), static_cast<int>(script.tail.size()), 0);
  if (!script.close) {
    // Kept open until the client closes its end.
    while (!stop_) {
      if (!Readable(connection, 10)) continue;
      if (recv(connection, buffer, sizeof buffer, 0) <= 0) break;
    }
  }
  closesocket(connection);
  --open_;
}

}  // namespace testing_support
