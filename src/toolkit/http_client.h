#pragma once
// The HTTP client of the quote request: one GET per client, over Winsock 2,
// pumping the GUI thread's messages through TIdAntiFreeze while it waits.
#include <cstdint>
#include <string>

#include "toolkit/handles.h"

namespace tk {

// A SOCKET's owner, kept free of <winsock2.h>: closesocket behind a plain integer.
void CloseSocket(std::uintptr_t socket);
using UniqueSocket = UniqueAny<std::uintptr_t, &CloseSocket, -1>;  // -1: INVALID_SOCKET

class TIdHTTP {
 public:
  static constexpr unsigned kDefaultConnectTimeoutMs = 120000;

  // Created without owner. The connect limit is counted in 125-ms slices.
  explicit TIdHTTP(unsigned connect_timeout_ms = kDefaultConnectTimeoutMs);
  // Must not run while a Get of this client is still on the stack.
  ~TIdHTTP();
  TIdHTTP(const TIdHTTP&) = delete;
  TIdHTTP& operator=(const TIdHTTP&) = delete;

  // Fetches "http://host[:port]/path" and returns the body as text, decoded
  // by the reply's charset. Throws tk::Exception on any failure. A client
  // sends one request in its life; a second call fails.
  std::u16string Get(const std::string& url);

  // Closes the connection if one is open or being made, and abandons a name
  // lookup under way; does nothing otherwise. Safe at any time, also from a pump that runs while a Get of
  // this client waits further up the stack: that Get then fails, unless its
  // reply was whole already.
  void Disconnect();

  bool Connected() const;
  // The status of the last reply read; -1 before one arrived.
  int ResponseCode() const { return response_code_; }

 private:
  class Request;

  UniqueSocket socket_;
  unsigned connect_timeout_ms_;
  // Counts Disconnect calls, so a name lookup, which has no socket yet, sees one.
  unsigned disconnects_ = 0;
  bool winsock_started_ = false;
  bool used_ = false;
  int response_code_ = -1;
};

}  // namespace tk
