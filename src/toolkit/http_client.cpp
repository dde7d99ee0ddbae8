#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "toolkit/http_client.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

#include "core/charsets.h"
#include "core/http_wire.h"
#include "toolkit/anti_freeze.h"
#include "toolkit/exception.h"
#include "toolkit/handles.h"
#include "toolkit/name_lookup.h"

namespace tk {
namespace {

constexpr unsigned kConnectSliceMs = 125;
constexpr unsigned kReadWaitMs = 250;
constexpr unsigned kProbeMs = 100;

std::wstring Widen(std::string_view ascii) {
  std::wstring wide;
  for (char c : ascii) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::wstring SocketErrorText(int code) {
  switch (code) {
    case WSAECONNREFUSED:
      return L"Connection refused.";
    case WSAECONNRESET:
      return L"Connection reset by peer.";
    case WSAECONNABORTED:
      return L"Software caused connection abort.";
    case WSAETIMEDOUT:
      return L"Connection timed out.";
    case WSAENETUNREACH:
      return L"Network is unreachable.";
    case WSAEHOSTUNREACH:
      return L"No route to host.";
    case WSAENETDOWN:
      return L"Network is down.";
    case WSAHOST_NOT_FOUND:
      return L"Host not found.";
    case WSATRY_AGAIN:
      return L"Non-authoritative host not found.";
    case WSANO_DATA:
      return L"Valid name, no data record of requested type.";
    default:
      return L"Unknown error.";
  }
}

[[noreturn]] void ThrowSocketError(int code) {
  throw Exception(L"Socket error " + std::to_wstring(code) + L": " + SocketErrorText(code));
}

// The one place a request hands the GUI thread to its message pump.
void Pump() { TIdAntiFreeze::DoProcess(); }

// Whether window messages wait for this thread: input, a message sent from
// elsewhere, a timer's tick or painting.
bool WindowMessagesWaiting() { return TIdAntiFreeze::WouldPump() && HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0; }

enum class WaitResult { kSignalled, kTimedOut, kStopped };

// Waits up to `ms` for `handle`. Unpumped, for the short waits that must not let other
// handlers in.
WaitResult WaitFor(HANDLE handle, DWORD ms) {
  switch (WaitForSingleObject(handle, ms)) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignalled;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      throw Exception(L"Waiting for the connection failed.");
  }
}

// Waits up to `ms` for `handle`, and hands the thread to the pump as soon as window
// messages arrive rather than only when the slice ends, so the windows answer at once.
// `still_wanted` is asked after each such pump: false ends the wait (a Disconnect came).
template <typename StillWanted>
WaitResult WaitPumping(HANDLE handle, DWORD ms, StillWanted still_wanted) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    switch (MsgWaitForMultipleObjects(1, &handle, FALSE, remaining, QS_ALLINPUT)) {
      case WAIT_OBJECT_0:
        return WaitResult::kSignalled;
      case WAIT_TIMEOUT:
        return WaitResult::kTimedOut;
      case WAIT_OBJECT_0 + 1:
        if (!TIdAntiFreeze::WouldPump()) break;
        Pump();
        if (!still_wanted()) return WaitResult::kStopped;
        break;
      default:
        throw Exception(L"Waiting for the connection failed.");
    }
  }
}

// Text from body bytes by the charset of the Content-Type. Anything the
// platform cannot decode falls back to ISO-8859-1.
std::u16string DecodeBody(const std::string& body, const std::optional<std::string>& content_type) {
  int code_page = 0;
  if (content_type) {
    if (const std::optional<std::string> charset = core::CharsetOfContentType(*content_type)) {
      code_page = core::CodePageOfCharset(*charset);
    }
  }
  if (code_page == core::kCodePageUtf16Le) return core::DecodeUtf16(body, false);
  if (body.empty() || code_page == 0 || code_page == core::kCodePageLatin1 ||
      !IsValidCodePage(static_cast<UINT>(code_page))) {
    return core::DecodeLatin1(body);
  }
  const int length = static_cast<int>(body.size());  // bodies are at most 1 MiB
  const int needed = MultiByteToWideChar(static_cast<UINT>(code_page), 0, body.data(), length, nullptr, 0);
  if (needed <= 0) return core::DecodeLatin1(body);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(static_cast<UINT>(code_page), 0, body.data(), length, wide.data(), needed);
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace

// The steps of one GET, with the state that lives only as long as it runs.
class TIdHTTP::Request {
 public:
  explicit Request(TIdHTTP& client)
      : client_(client), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), block_(32 * 1024) {
    if (!event_) throw Exception(L"Cannot create the network event.");
  }

  // A receive still pending writes into this object: it must end first.
  ~Request() { AbandonReceive(); }

  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  std::u16string Run(const core::HttpUrl& url) {
    const sockaddr_in address = Resolve(url.host, url.port);
    Connect(address);
    Send(core::BuildGetRequest(url.host_header, url.path));
    core::HttpReplyReader reader;
    Read(reader);
    client_.response_code_ = reader.Status();
    if (reader.CurrentStep() != core::HttpReplyReader::Step::kDone) throw Exception(Widen(reader.Error()));
    if (!reader.KeepOpen()) client_.Disconnect();
    return DecodeBody(reader.Body(), reader.Header("Content-Type"));
  }

 private:
  SOCKET Socket() const { return static_cast<SOCKET>(client_.socket_.get()); }
  // Disconnect ran, perhaps from a pump further down this stack.
  bool ClosedLocally() const { return Socket() == INVALID_SOCKET; }

  // A name goes to the lookup worker while this thread waits in the connect's slices. A
  // Disconnect abandons the lookup at once: its answer, should it come later, is dropped.
  sockaddr_in Resolve(const std::string& host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return address;
    const unsigned disconnects = client_.disconnects_;
    const auto still_wanted = [this, disconnects] { return client_.disconnects_ == disconnects; };
    const PendingNameLookup lookup(host);
    if (!WaitInSlices(lookup.Done(), still_wanted, [] { return true; })) ThrowHostNotFound(WSATRY_AGAIN, host);
    const NameLookupResult result = lookup.Result();
    if (!result.found) ThrowHostNotFound(result.error, host);
    address.sin_addr.s_addr = result.address;
    return address;
  }

  [[noreturn]] static void ThrowHostNotFound(int error, const std::string& host) {
    throw Exception(L"Socket error " + std::to_wstring(error) + L": host not found: " + Widen(host));
  }

  // Waits for `handle` in 125-ms slices, as many as the connect may take, pumping after each
  // slice that ends without news. `arrived`, asked whenever the handle is signalled, says whether
  // that was the news waited for. False once the slices ran out (no pump after the last one); a
  // Disconnect meanwhile (`still_wanted` turns false) fails the request.
  template <typename StillWanted, typename Arrived>
  bool WaitInSlices(HANDLE handle, StillWanted still_wanted, Arrived arrived) {
    const unsigned slices = std::max(1u, (client_.connect_timeout_ms_ + kConnectSliceMs - 1) / kConnectSliceMs);
    for (unsigned slice = 1;; ++slice) {
      const WaitResult waited = WaitPumping(handle, kConnectSliceMs, still_wanted);
      if (waited == WaitResult::kStopped) throw Exception(L"Connection closed while connecting.");
      if (waited == WaitResult::kSignalled) {
        if (arrived()) return true;
        continue;  // other news: the slice goes on
      }
      if (slice == slices) return false;
      Pump();
      if (!still_wanted()) throw Exception(L"Connection closed while connecting.");
    }
  }

  // The connect is started without blocking, and this thread waits for its outcome in
  // slices, pumping after each slice that ends without news. No thread of its own: under
  // Wine every thread leaves about a megabyte of its stack resident after it ends.
  void Connect(const sockaddr_in& address) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) ThrowSocketError(WSAGetLastError());
    client_.socket_.reset(static_cast<std::uintptr_t>(s));
    if (WSAEventSelect(s, event_.get(), FD_CONNECT) != 0) ThrowSocketError(WSAGetLastError());
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return;
    if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) ThrowSocketError(error);

    const auto still_open = [this] { return !ClosedLocally(); };
    const auto connected = [this, s] {
      WSANETWORKEVENTS events{};
      if (WSAEnumNetworkEvents(s, event_.get(), &events) != 0) ThrowSocketError(WSAGetLastError());
      if (!(events.lNetworkEvents & FD_CONNECT)) return false;
      if (const int error = events.iErrorCode[FD_CONNECT_BIT]; error != 0) ThrowSocketError(error);
      return true;
    };
    if (WaitInSlices(event_.get(), still_open, connected)) return;
    client_.Disconnect();
    throw Exception(L"Connect timed out.");
  }

  // In one piece, without pumping. The socket goes back to blocking mode,
  // free of the connect's event.
  void Send(const std::string& request) {
    const SOCKET s = Socket();
    u_long non_blocking = 0;
    if (WSAEventSelect(s, nullptr, 0) != 0 || ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
      ThrowSocketError(WSAGetLastError());
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
      const int n =
          send(s, request.data() + sent, static_cast<int>(std::min<std::size_t>(request.size() - sent, INT_MAX)), 0);
      if (n == SOCKET_ERROR) ThrowSocketError(WSAGetLastError());
      sent += static_cast<std::size_t>(n);
    }
  }

  // Feeds the reader until the reply is whole or has failed.
  void Read(core::HttpReplyReader& reader) {
    using Step = core::HttpReplyReader::Step;
    bool probing = false;  // a reply without a body waits for stray bytes, since probe_started
    ULONGLONG probe_started = 0;
    while (reader.CurrentStep() == Step::kNeedBytes || reader.CurrentStep() == Step::kNeedProbe) {
      if (reader.CurrentStep() == Step::kNeedProbe && !probing) {
        probing = true;
        probe_started = GetTickCount64();
      }
      std::optional<std::size_t> received = pending_ ? std::nullopt : StartReceive();
      if (!received) {
        received = probing ? AwaitProbe(reader, probe_started) : AwaitBytes(reader);
        if (!received) continue;  // the reader knows why nothing came, or the pump had its turn
      }
      if (*received == 0) {
        reader.FeedClose();
        continue;
      }
      probing = false;
      Deliver(reader, *received);
    }
  }

  // A reply without a body gets 100 ms for bytes to show up, unpumped. The bytes received, or
  // nothing once the time is up (the reader is told).
  std::optional<std::size_t> AwaitProbe(core::HttpReplyReader& reader, ULONGLONG started) {
    const ULONGLONG waited = GetTickCount64() - started;
    const unsigned limit = static_cast<unsigned>(kProbeMs - std::min<ULONGLONG>(waited, kProbeMs));
    if (WaitFor(event_.get(), limit) == WaitResult::kTimedOut) {
      AbandonReceive();
      reader.ProbeTimedOut();
      return std::nullopt;
    }
    return FinishReceive();
  }

  // Waits for the pending receive, pumping. The bytes received, or nothing: after a local close
  // (the reader is told), or after a wait without news (the pump has had its turn).
  std::optional<std::size_t> AwaitBytes(core::HttpReplyReader& reader) {
    switch (WaitPumping(event_.get(), kReadWaitMs, [this] { return !ClosedLocally(); })) {
      case WaitResult::kStopped:
        AbandonReceive();
        reader.FeedLocalClose();
        return std::nullopt;
      case WaitResult::kTimedOut:
        PumpThenCheck(reader);
        return std::nullopt;
      case WaitResult::kSignalled:
        break;
    }
    return FinishReceive();
  }

  void Deliver(core::HttpReplyReader& reader, std::size_t received) {
    const std::uint64_t body_before = reader.BodyBytesSeen();
    reader.Feed(std::string_view(block_.data(), received));
    // A server that never lets the socket run dry would otherwise keep the
    // windows waiting: when data wins the wait, messages get their turn here.
    if (reader.BodyBytesSeen() != body_before || WindowMessagesWaiting()) PumpThenCheck(reader);
  }

  // A Disconnect inside the pump ends the request: what had not arrived
  // by then is missing, and the reply fails unless it was already whole.
  void PumpThenCheck(core::HttpReplyReader& reader) {
    Pump();
    if (ClosedLocally()) {
      AbandonReceive();
      reader.FeedLocalClose();
    }
  }

  // Receives overlapped and waits on the event, rather than polling the
  // socket: a poll can turn a connection reset into what looks like an
  // orderly close. The byte count when the receive completed at once,
  // nothing while it is pending.
  std::optional<std::size_t> StartReceive() {
    overlapped_ = WSAOVERLAPPED{};
    overlapped_.hEvent = event_.get();
    ResetEvent(event_.get());
    WSABUF buffer{static_cast<ULONG>(block_.size()), block_.data()};
    DWORD received = 0;
    DWORD flags = 0;
    if (WSARecv(Socket(), &buffer, 1, &received, &flags, &overlapped_, nullptr) == 0) return received;
    const int error = WSAGetLastError();
    if (error != WSA_IO_PENDING) ThrowSocketError(error);
    pending_ = true;
    return std::nullopt;
  }

  std::size_t FinishReceive() {
    pending_ = false;
    DWORD received = 0;
    DWORD flags = 0;
    if (!WSAGetOverlappedResult(Socket(), &overlapped_, &received, FALSE, &flags)) ThrowSocketError(WSAGetLastError());
    return received;
  }

  // Ends a pending receive: a local close has cancelled it already,
  // otherwise it is cancelled here. Its end is awaited either way, as it
  // writes into this object.
  void AbandonReceive() {
    if (!pending_) return;
    if (!ClosedLocally()) CancelIoEx(reinterpret_cast<HANDLE>(Socket()), &overlapped_);
    WaitForSingleObject(event_.get(), INFINITE);
    pending_ = false;
  }

  TIdHTTP& client_;
  UniqueKernelHandle event_;
  std::vector<char> block_;
  WSAOVERLAPPED overlapped_{};
  bool pending_ = false;
};

TIdHTTP::TIdHTTP(unsigned connect_timeout_ms) : connect_timeout_ms_(connect_timeout_ms) {
  WSADATA data;
  winsock_started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

TIdHTTP::~TIdHTTP() {
  Disconnect();
  if (winsock_started_) WSACleanup();
}

std::u16string TIdHTTP::Get(const std::string& url) {
  if (used_) throw Exception(L"This client has sent its request already.");
  used_ = true;
  if (!winsock_started_) throw Exception(L"Winsock 2 is not available.");
  const std::optional<core::HttpUrl> address = core::SplitHttpUrl(url);
  if (!address) throw Exception(L"Not an address this client can fetch: " + Widen(url));
  Request request(*this);
  try {
    return request.Run(*address);
  } catch (...) {
    Disconnect();
    throw;
  }
}

void TIdHTTP::Disconnect() {
  ++disconnects_;
  socket_.reset();
}

bool TIdHTTP::Connected() const { return static_cast<bool>(socket_); }

void CloseSocket(std::uintptr_t socket) { closesocket(static_cast<SOCKET>(socket)); }

}  // namespace tk
