#pragma once
// A loopback quote server on the port the test build asks (127.0.0.1:18631). Each accepted
// connection plays the next script of a queue; a connection left open is watched until the
// client closes it.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct ConnectionScript {
  std::string head;   // sent once the request has arrived
  int pause_ms = 0;   // then a pause
  std::string tail;   // then more bytes
  bool close = true;  // then close, or keep the connection open
};

class QuoteServer {
 public:
  explicit QuoteServer(unsigned short port = 18631);
  ~QuoteServer();
  void Push(ConnectionScript script);
  int Connections() const { return connections_; }
  // The first line of every request received so far ("GET /path HTTP/1.1").
  std::vector<std::string> RequestLines();
  int OpenConnections() const { return open_; }
  // The most connections that were open at the same time.
  int MostOpenAtOnce() const { return most_open_; }

 private:
  void Serve();
  void Converse(SOCKET connection, ConnectionScript script);

  SOCKET listener_ = INVALID_SOCKET;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> open_{0};
  std::atomic<int> most_open_{0};
  std::mutex mutex_;
  std::deque<ConnectionScript> scripts_;
  std::deque<std::thread> conversations_;
  std::vector<std::string> request_lines_;
};

// "HTTP/1.1 200 OK" with a Content-Length and the body.
std::string QuoteReply(const std::string& body);

}  // namespace testing_support
