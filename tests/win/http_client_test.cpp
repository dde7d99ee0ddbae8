// The HTTP client against a scripted server on 127.0.0.1, with the message
// pump counted (or used to disconnect, as a nested refresh would).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/charsets.h"
#include "toolkit/anti_freeze.h"
#include "toolkit/exception.h"
#include "toolkit/http_client.h"
#include "toolkit/name_lookup.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::string_literals;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockSession() { WSACleanup(); }
} const g_winsock;

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &timeout) == 1;
}

void SendAll(SOCKET s, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

SOCKET LoopbackListener(int backlog, std::uint16_t& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(s, backlog);
  int size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return s;
}

std::string EndpointUrl(const std::string& host, std::uint16_t port) {
  return "http://" + host + ":" + std::to_string(port) + "/wap/ruanjian/abc.php";
}

// What the server does once it has read the request.
struct Action {
  enum Kind { kSend, kPause, kClose, kReset } kind;
  std::string bytes;
  int ms = 0;
};
Action Send(std::string bytes) { return {Action::kSend, std::move(bytes)}; }
Action Pause(int ms) { return {Action::kPause, {}, ms}; }
Action CloseConnection() { return {Action::kClose, {}}; }
Action ResetConnection() { return {Action::kReset, {}}; }

// Serves the first connection by its script; a script that does not close
// keeps the connection open, watching for the client to close it. Later
// connections are counted and closed.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Action> script) : script_(std::move(script)) {
    listener_ = LoopbackListener(8, port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
  }

  std::string Url(const std::string& host = "127.0.0.1") const { return EndpointUrl(host, port_); }
  std::uint16_t Port() const { return port_; }
  bool RequestComplete() const { return request_complete_; }
  int Connections() const { return connections_; }
  std::string Request() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_;
  }
  // Whether the client closed its end within `ms`.
  bool ClientClosedWithin(int ms) const {
    const Clock::time_point start = Clock::now();
    while (!client_closed_ && MillisecondsSince(start) < ms) Sleep(5);
    return client_closed_;
  }

 private:
  void Serve() {
    while (!stop_) {
      if (!Readable(listener_, 10)) continue;
      const SOCKET connection = accept(listener_, nullptr, nullptr);
      if (connection == INVALID_SOCKET) continue;
      if (++connections_ > 1) {
        closesocket(connection);
        continue;
      }
      Converse(connection);
    }
  }

  void Converse(SOCKET connection) {
    ReadRequest(connection);
    for (const Action& action : script_) {
      switch (action.kind) {
        case Action::kSend:
          SendAll(connection, action.bytes);
          break;
        case Action::kPause:
          for (const Clock::time_point start = Clock::now(); !stop_ && MillisecondsSince(start) < action.ms;) Sleep(5);
          break;
        case Action::kClose:
          closesocket(connection);
          return;
        case Action::kReset: {
          const linger abort_on_close{1, 0};
          setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
                     sizeof abort_on_close);
          closesocket(connection);
          return;
        }
      }
    }
    WatchForClientClose(connection);
    closesocket(connection);
  }

  void ReadRequest(SOCKET connection) {
    char buffer[4096];
    while (!stop_) {
      if (!Readable(connection, 10)) continue;
      const int n = recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      request_.append(buffer, static_cast<std::size_t>(n));
      if (request_.find("\r\n\r\n") != std::string::npos) {
        request_complete_ = true;
        return;
      }
    }
  }

  void WatchForClientClose(SOCKET connection) {
    char buffer[4096];
    while (!stop_) {
      if (Readable(listener_, 0)) {
        const SOCKET extra = accept(listener_, nullptr, nullptr);
        if (extra != INVALID_SOCKET) {
          ++connections_;
          closesocket(extra);
        }
      }
      if (!Readable(connection, 10)) continue;
      if (recv(connection, buffer, sizeof buffer, 0) <= 0) {
        client_closed_ = true;
        return;
      }
    }
  }

  const std::vector<Action> script_;
  SOCKET listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> request_complete_{false};
  std::atomic<bool> client_closed_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::string request_;
};

// A listener whose queue is full and that never accepts: a connect to it
// gets no answer at all.
class SilentListener {
 public:
  SilentListener() {
    listener_ = LoopbackListener(0, port_);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    for (int i = 0; i < 4; ++i) {
      SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long non_blocking = 1;
      ioctlsocket(filler, FIONBIO, &non_blocking);
      connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(filler);
    }
    Sleep(50);
  }
  ~SilentListener() {
    for (SOCKET s : fillers_) closesocket(s);
    closesocket(listener_);
  }
  std::string Url() const { return EndpointUrl("127.0.0.1", port_); }

 private:
  SOCKET listener_;
  std::uint16_t port_ = 0;
  std::vector<SOCKET> fillers_;
};

// A loopback port with nobody listening.
std::string ClosedPortUrl() {
  std::uint16_t port = 0;
  closesocket(LoopbackListener(1, port));
  return EndpointUrl("127.0.0.1", port);
}

std::string Reply(const std::string& status_line, const std::string& headers, const std::string& body = "") {
  return status_line + "\r\n" + headers + "\r\n" + body;
}

std::string OkWithLength(const std::string& body, const std::string& more_headers = "") {
  return Reply("HTTP/1.1 200 OK", more_headers + "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

std::u16string Widened(const std::string& bytes) {
  std::u16string text;
  for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  return text;
}

const std::string kQuote = "2345.67|R|28.90|D";

// A resolver that does not answer, as behind a captive portal: every lookup hangs until
// released or until its time is up, then gives 127.0.0.1. Installed for one scope.
std::atomic<DWORD> g_lookup_hang_ms{0};
std::atomic<int> g_lookups_started{0};
std::atomic<int> g_lookups_returned{0};
const HANDLE g_release_lookups = CreateEventW(nullptr, TRUE, FALSE, nullptr);

tk::NameLookupResult HangingLookup(const std::string&) {
  ++g_lookups_started;
  WaitForSingleObject(g_release_lookups, g_lookup_hang_ms);
  tk::NameLookupResult result;
  result.found = true;
  result.address = htonl(INADDR_LOOPBACK);
  ++g_lookups_returned;
  return result;
}

class HangingResolver {
 public:
  explicit HangingResolver(DWORD ms) {
    g_lookup_hang_ms = ms;
    ResetEvent(g_release_lookups);
    tk::SetNameLookupFunction(&HangingLookup);
  }
  ~HangingResolver() {
    Release();
    tk::SetNameLookupFunction(nullptr);
  }
  // Lets every lookup answer, and waits until those under way have.
  void Release() {
    SetEvent(g_release_lookups);
    const Clock::time_point start = Clock::now();
    while (g_lookups_returned != g_lookups_started && MillisecondsSince(start) < 5000) Sleep(5);
  }
};

class http_client : public ::testing::Test {
 protected:
  void SetUp() override {
    anti_freeze_.SetPump([this] {
      ++pumps_;
      if (on_pump_) on_pump_();
    });
  }

  // The message of the failure `get` ends in; fails the test when it succeeds.
  std::optional<std::wstring> FailureOf(const std::function<void()>& get) {
    try {
      get();
    } catch (const tk::Exception& e) {
      return e.Message();
    }
    ADD_FAILURE() << "the request succeeded";
    return std::nullopt;
  }

  tk::TIdAntiFreeze anti_freeze_;
  int pumps_ = 0;
  std::function<void()> on_pump_;
};

// ---------------------------------------------------------------------------
// The request and the statuses

TEST_F(http_client, SendsExactlyTheRequestLines) {
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    ScriptedServer server({Send(OkWithLength(kQuote))});
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url(host)), Widened(kQuote));
    EXPECT_EQ(server.Request(), "GET /wap/ruanjian/abc.php HTTP/1.1\r\n"
                                "Host: " +
                                    host + ":" + std::to_string(server.Port()) +
                                    "\r\n"
                                    "Accept: text/html, */*\r\n"
                                    "Accept-Encoding: identity\r\n"
                                    "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                                    "\r\n");
    EXPECT_EQ(client.ResponseCode(), 200);
  }
}

TEST_F(http_client, ContinueIsPassedOver) {
  ScriptedServer server({Send("HTTP/1.1 100 Continue\r\n\r\n"), Pause(50), Send(OkWithLength(kQuote))});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  EXPECT_EQ(client.ResponseCode(), 200);
}

TEST_F(http_client, AKeptConnectionStaysOpenUntilDisconnect) {
  ScriptedServer server({Send(OkWithLength(kQuote))});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  EXPECT_TRUE(client.Connected());
  EXPECT_FALSE(server.ClientClosedWithin(300));
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(server.ClientClosedWithin(2000));
}

TEST_F(http_client, ConnectionCloseClosesAtOnce) {
  ScriptedServer server({Send(OkWithLength(kQuote, "Connection: close\r\n"))});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(server.ClientClosedWithin(2000)) << "closed while the client still exists";
}

TEST_F(http_client, ARedirectFailsAndIsNotFollowed) {
  ScriptedServer server({Send(Reply("HTTP/1.1 302 Found", "Location: /elsewhere\r\nContent-Length: 5\r\n", "moved"))});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
  EXPECT_EQ(client.ResponseCode(), 302);
  Sleep(300);
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(server.Request().find("GET "), server.Request().rfind("GET ")) << "one request only";
}

TEST_F(http_client, ALocationFailsEveryStatusBut201) {
  {
    ScriptedServer server({Send(OkWithLength(kQuote, "Location: /x\r\n"))});
    tk::TIdHTTP client;
    EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
  }
  {
    ScriptedServer server({Send(Reply("HTTP/1.1 201 Created", "Location: /x\r\nContent-Length: 4\r\n", "made"))});
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url()), u"made");
  }
}

TEST_F(http_client, FailingStatusesFail) {
  for (const std::string status : {"HTTP/1.1 404 Not Found", "HTTP/1.1 500 Internal Server Error", "HTTP/1.1 401 No"}) {
    SCOPED_TRACE(status);
    ScriptedServer server({Send(Reply(status, "Content-Length: 4\r\n", "oops"))});
    tk::TIdHTTP client;
    const std::optional<std::wstring> failure = FailureOf([&] { client.Get(server.Url()); });
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find(L"HTTP/1.1"), std::wstring::npos) << Narrow(*failure);
    EXPECT_FALSE(client.Connected());
  }
}

TEST_F(http_client, NoContentGivesEmptyTextAfterA100MillisecondProbe) {
  ScriptedServer server({Send(Reply("HTTP/1.1 204 No Content", ""))});
  tk::TIdHTTP client;
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(client.Get(server.Url()), u"");
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 95);
  EXPECT_LT(elapsed, 1000);
  EXPECT_EQ(pumps_, 0) << "the probe does not pump";
}

TEST_F(http_client, NoContentWithABodyWithinTheProbeStillGivesEmptyText) {
  ScriptedServer server({Send(Reply("HTTP/1.1 204 No Content", "Content-Length: 5\r\n")), Pause(30), Send("stray")});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), u"");
  EXPECT_TRUE(client.Connected()) << "the dropped body was read to its end";
}

// ---------------------------------------------------------------------------
// Framing and the ends of a reply

TEST_F(http_client, ALengthBodyCutShortByTheServersCloseFails) {
  ScriptedServer server(
      {Send(Reply("HTTP/1.1 200 OK", "Content-Length: 10\r\n", "1|2\r\n")), Pause(50), CloseConnection()});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
  EXPECT_FALSE(client.Connected());
}

TEST_F(http_client, ChunkedBody) {
  ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n")), Pause(30),
                         Send("7\r\n2345.67\r\n"), Pause(30), Send("a\r\n|R|28.90|D\r\n0\r\n\r\n")});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  EXPECT_TRUE(client.Connected());
}

TEST_F(http_client, AChunkedBodyCutByACloseFails) {
  ScriptedServer server(
      {Send(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "7\r\n2345")), CloseConnection()});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
}

TEST_F(http_client, AResetFailsEvenWhereACloseWouldEndTheBody) {
  ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", "", "2345.67|R")), Pause(100), ResetConnection()});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
}

TEST_F(http_client, AStatusLineOverTheLineLimitFails) {
  const auto status_line_of = [](std::size_t bytes_before_lf) {
    std::string line = "HTTP/1.1 200 OK ";
    line.resize(bytes_before_lf - 1, 'x');  // the CR is the last byte
    return line;
  };
  {
    ScriptedServer server({Send(Reply(status_line_of(16385), "Content-Length: 2\r\n", "ok"))});
    tk::TIdHTTP client;
    EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
  }
  {
    ScriptedServer server({Send(Reply(status_line_of(16384), "Content-Length: 2\r\n", "ok"))});
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url()), u"ok");
  }
}

TEST_F(http_client, AHeaderBlockOver64KiBFails) {
  std::string headers;
  for (int i = 0; headers.size() <= 64 * 1024; ++i)
    headers += "X-Filler-" + std::to_string(i) + ": " + std::string(900, 'v') + "\r\n";
  ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", headers + "Content-Length: 2\r\n", "ok"))});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
}

TEST_F(http_client, ABodyOver1MiBFails) {
  const std::string full(1024 * 1024, 'b');
  {
    ScriptedServer server({Send(OkWithLength(full))});
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url()).size(), full.size());
  }
  {
    ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", "", full + "b"))});  // no length, never closed
    tk::TIdHTTP client;
    EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
  }
}

TEST_F(http_client, AnOverflowingChunkSizeFails) {
  ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "10000000000000000\r\nabc"))});
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
}

// ---------------------------------------------------------------------------
// A disconnect from inside the pump, as a nested refresh does it

TEST_F(http_client, ANestedRefreshFailsTheUnendingBodyItCloses) {
  // No length and never closed: only a disconnect ends this body.
  ScriptedServer waiting_server({Send(Reply("HTTP/1.1 200 OK", "", "1111.11|U|11.11|D"))});
  ScriptedServer nested_server({Send(OkWithLength(kQuote))});
  tk::TIdHTTP waiting;
  std::u16string nested_text;
  bool nested_ran = false;
  on_pump_ = [&] {
    if (nested_ran) return;  // the nested request pumps too
    nested_ran = true;
    waiting.Disconnect();
    tk::TIdHTTP nested;
    nested_text = nested.Get(nested_server.Url());
  };
  EXPECT_TRUE(FailureOf([&] { waiting.Get(waiting_server.Url()); }));
  EXPECT_TRUE(nested_ran);
  EXPECT_EQ(nested_text, Widened(kQuote));
  EXPECT_FALSE(waiting.Connected());
  EXPECT_TRUE(waiting_server.ClientClosedWithin(1000));
}

TEST_F(http_client, ADisconnectFromThePumpFailsAReplyNotYetWhole) {
  struct Case {
    const char* what;
    std::vector<Action> script;
  } cases[] = {
      {"status line awaited", {}},
      {"first header line awaited", {Send("HTTP/1.1 200 OK\r\n")}},
      {"a later header line awaited", {Send("HTTP/1.1 200 OK\r\nServer: test\r\n")}},
      {"length body, part received", {Send(Reply("HTTP/1.1 200 OK", "Content-Length: 100\r\n", "abc"))}},
      {"until-close body, part received", {Send(Reply("HTTP/1.1 200 OK", "", "abc"))}},
      {"chunked body, part received",
       {Send(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n"))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server(c.script);
    tk::TIdHTTP client;
    pumps_ = 0;
    on_pump_ = [&] {
      if (pumps_ == 2) client.Disconnect();
    };
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(FailureOf([&] { client.Get(server.Url()); }));
    EXPECT_EQ(pumps_, 2) << "nothing ran after the disconnect";
    EXPECT_LT(MillisecondsSince(start), 2000);
    EXPECT_TRUE(server.ClientClosedWithin(1000));
  }
}

TEST_F(http_client, ADisconnectFromThePumpWhileConnectingFails) {
  SilentListener silent;
  tk::TIdHTTP client;  // the full two-minute limit
  on_pump_ = [&] {
    if (pumps_ == 3) client.Disconnect();
    if (pumps_ > 40) client.Disconnect();  // the connect was answered after all; do not hang
  };
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(FailureOf([&] { client.Get(silent.Url()); }));
  EXPECT_EQ(pumps_, 3);
  // Three connect slices of 125 ms; read waits would have taken 750 ms.
  EXPECT_LT(MillisecondsSince(start), 700);
}

// ---------------------------------------------------------------------------
// From bytes to text

std::u16string FetchWithContentType(const std::string& content_type, const std::string& body) {
  ScriptedServer server(
      {Send(OkWithLength(body, content_type.empty() ? "" : "Content-Type: " + content_type + "\r\n"))});
  tk::TIdHTTP client;
  return client.Get(server.Url());
}

const std::string kNiHaoGb2312 = "\xC4\xE3\xBA\xC3";

TEST_F(http_client, WithoutACharsetEachByteIsOneCharacter) {
  EXPECT_EQ(FetchWithContentType("", kNiHaoGb2312), Widened(kNiHaoGb2312));
  EXPECT_EQ(FetchWithContentType("text/html", kNiHaoGb2312), Widened(kNiHaoGb2312));
}

TEST_F(http_client, CharsetsWithoutACodePageReadAsLatin1) {
  for (const char* charset : {"GB18030", "UTF-16BE", "ISO-8859-15", "x-unheard-of"}) {
    SCOPED_TRACE(charset);
    EXPECT_EQ(FetchWithContentType("text/html; charset="s + charset, kNiHaoGb2312), Widened(kNiHaoGb2312));
  }
}

TEST_F(http_client, ACharsetWithACodePageDecodesThroughIt) {
  EXPECT_EQ(FetchWithContentType("text/html; charset=gb2312", kNiHaoGb2312), u"\u4F60\u597D");
  EXPECT_EQ(FetchWithContentType("text/html; Charset=\"GBK\"", kNiHaoGb2312), u"\u4F60\u597D");
  EXPECT_EQ(FetchWithContentType("text/plain; charset=windows-1251", "\xCF\xF0\xE8"), u"\u041F\u0440\u0438");
}

TEST_F(http_client, UsAsciiReadsHighBytesAsWindows1252) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  const std::u16string text = FetchWithContentType("text/plain; charset=US-ASCII", high);
  wchar_t expected[0x80];
  ASSERT_EQ(MultiByteToWideChar(1252, 0, high.data(), 0x80, expected, 0x80), 0x80);
  EXPECT_EQ(text, std::u16string(expected, expected + 0x80));
  ASSERT_EQ(text.size(), 0x80u);
  EXPECT_EQ(text[0x80 - 0x80], u'\u20AC');
  EXPECT_EQ(text[0x93 - 0x80], u'\u201C');
  EXPECT_EQ(text[0xE9 - 0x80], u'\u00E9');
}

TEST_F(http_client, Utf8KeepsItsByteOrderMark) {
  EXPECT_EQ(FetchWithContentType("text/plain; charset=utf-8", "\xEF\xBB\xBF"
                                                              "2345.67|\xE9\x87\x91"),
            u"\uFEFF2345.67|\u91D1");
  EXPECT_EQ(FetchWithContentType("text/plain", "\xEF\xBB\xBF"
                                               "a"),
            u"\u00EF\u00BB\u00BFa");
}

TEST_F(http_client, Utf16IsDecodedWithoutThePlatform) {
  EXPECT_EQ(FetchWithContentType("text/plain; charset=UTF-16", "\xFF\xFE"
                                                               "A\0\x60\x4F"s),
            u"\uFEFFA\u4F60");
}

TEST_F(http_client, ACodePageThePlatformCannotDecodeReadsAsLatin1) {
  std::string charset;
  for (const char* name : {"UTF-32", "UTF-32BE", "ISO-8859-8-I", "IBM01149", "IBM870", "EUC-JP", "HZ-GB-2312"}) {
    const int code_page = core::CodePageOfCharset(name);
    if (code_page != 0 && !IsValidCodePage(static_cast<UINT>(code_page))) {
      charset = name;
      break;
    }
  }
  if (charset.empty()) GTEST_SKIP() << "this platform decodes every candidate code page";
  SCOPED_TRACE(charset);
  EXPECT_EQ(FetchWithContentType("text/plain; charset=" + charset, kNiHaoGb2312), Widened(kNiHaoGb2312));
}

TEST_F(http_client, AGzipBodyIsHandedOnAsItsBytes) {
  // The first bytes of a gzip member: magic, method, flags, time, flags, OS.
  const std::string gzip = "\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\x33\x32\x31\x35\xD3\x33\x33\x07\x00"s;
  EXPECT_EQ(FetchWithContentType("text/plain\r\nContent-Encoding: gzip", gzip), Widened(gzip));
}

// ---------------------------------------------------------------------------
// Resolving and connecting

// The resolver's "no such host", answered at once (no query leaves the machine).
tk::NameLookupResult NoSuchHost(const std::string&) {
  tk::NameLookupResult result;
  result.error = WSAHOST_NOT_FOUND;
  return result;
}

TEST_F(http_client, AnUnresolvableHostFailsWithoutPumping) {
  tk::SetNameLookupFunction(&NoSuchHost);
  struct Restore {
    ~Restore() { tk::SetNameLookupFunction(nullptr); }
  } restore;
  tk::TIdHTTP client;
  const Clock::time_point start = Clock::now();
  const std::optional<std::wstring> failure =
      FailureOf([&] { client.Get("http://no-such-host.invalid/wap/ruanjian/abc.php"); });
  const long long elapsed = MillisecondsSince(start);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->rfind(L"Socket error ", 0), 0u) << Narrow(*failure);
  EXPECT_NE(failure->find(L"11001: host not found: no-such-host.invalid"), std::wstring::npos) << Narrow(*failure);
  EXPECT_EQ(pumps_, 0);
  EXPECT_LT(elapsed, 5000);
  RecordProperty("resolve_failure_ms", std::to_string(elapsed));
}

TEST_F(http_client, ADisconnectAbandonsAHangingLookupAtOnce) {
  HangingResolver resolver(10000);
  auto client = std::make_unique<tk::TIdHTTP>();
  Clock::time_point disconnected;
  on_pump_ = [&] {
    if (pumps_ == 3) {
      disconnected = Clock::now();
      client->Disconnect();  // a newer refresh, or the quit
    }
  };
  const Clock::time_point start = Clock::now();
  const std::optional<std::wstring> failure = FailureOf([&] { client->Get(EndpointUrl("quotes.ticker.test", 80)); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, L"Connection closed while connecting.");
  EXPECT_EQ(pumps_, 3) << "a pump after each 125-ms slice of the lookup";
  EXPECT_LT(MillisecondsSince(disconnected), 100);
  EXPECT_LT(MillisecondsSince(start), 1500);
  // Its answer comes after the client has gone, and the one worker then serves the next request.
  client.reset();
  resolver.Release();
  ScriptedServer server({Send(OkWithLength(kQuote))});
  tk::TIdHTTP next;
  EXPECT_EQ(next.Get(server.Url("quotes.ticker.test")), Widened(kQuote));
}

TEST_F(http_client, ARefusedConnectFails) {
  tk::TIdHTTP client;
  const Clock::time_point start = Clock::now();
  const std::optional<std::wstring> failure = FailureOf([&] { client.Get(ClosedPortUrl()); });
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find(L"10061"), std::wstring::npos) << Narrow(*failure);
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_FALSE(client.Connected());
}

TEST_F(http_client, AnUnansweredConnectTimesOutAfterItsSlices) {
  SilentListener silent;
  tk::TIdHTTP client(600);  // five slices of 125 ms
  on_pump_ = [&] {
    if (pumps_ > 40) client.Disconnect();  // the connect was answered after all; do not hang
  };
  const Clock::time_point start = Clock::now();
  const std::optional<std::wstring> failure = FailureOf([&] { client.Get(silent.Url()); });
  const long long elapsed = MillisecondsSince(start);
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, L"Connect timed out.");
  EXPECT_EQ(pumps_, 4) << "a pump after each slice but the last";
  EXPECT_GE(elapsed, 600);
  EXPECT_LT(elapsed, 1500);
  EXPECT_FALSE(client.Connected());
}

// ---------------------------------------------------------------------------
// When the pump runs

TEST_F(http_client, PumpsWhileWaitingAndNeverBeforeTheRequestIsSent) {
  ScriptedServer server({Pause(1100), Send(OkWithLength(kQuote))});
  bool pumped_before_sent = false;
  on_pump_ = [&] { pumped_before_sent |= !server.RequestComplete(); };
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url("localhost")), Widened(kQuote));
  EXPECT_GE(pumps_, 3) << "one pump per 250-ms wait without data";
  EXPECT_LE(pumps_, 5);
  EXPECT_FALSE(pumped_before_sent);
}

TEST_F(http_client, PumpsAfterEachBodyBlock) {
  ScriptedServer server({Send(Reply("HTTP/1.1 200 OK", "Content-Length: 9\r\n")), Pause(60), Send("abc"), Pause(60),
                         Send("def"), Pause(60), Send("ghi")});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), u"abcdefghi");
  EXPECT_GE(pumps_, 3);
}

TEST_F(http_client, NoPumpWhenInactiveOrOnAnotherThread) {
  {
    anti_freeze_.Active = false;
    ScriptedServer server({Pause(600), Send(OkWithLength(kQuote))});
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
    EXPECT_EQ(pumps_, 0);
    anti_freeze_.Active = true;
  }
  {
    ScriptedServer server({Pause(600), Send(OkWithLength(kQuote))});
    std::u16string text;
    std::thread worker([&] {
      tk::TIdHTTP client;
      text = client.Get(server.Url());
    });
    worker.join();
    EXPECT_EQ(text, Widened(kQuote));
    EXPECT_EQ(pumps_, 0);
  }
}

std::atomic<int> g_timer_ticks{0};
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timer_ticks; }

TEST_F(http_client, TheDefaultPumpDispatchesTheThreadsMessages) {
  anti_freeze_.SetPump({});
  g_timer_ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
  ASSERT_NE(timer, 0u);
  ScriptedServer server({Pause(700), Send(OkWithLength(kQuote))});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  KillTimer(nullptr, timer);
  EXPECT_GE(g_timer_ticks.load(), 2);
}

// What keeps a request busy for a second or more: a server that says nothing yet, one that
// streams interim replies, and one that trickles its body.
std::vector<Action> WaitingScript() { return {Pause(1500), Send(OkWithLength(kQuote))}; }

std::vector<Action> InterimFloodScript() {
  std::string burst;
  for (int i = 0; i < 20; ++i) burst += "HTTP/1.1 100 Continue\r\n\r\n";
  std::vector<Action> script;
  for (int i = 0; i < 110; ++i) script.insert(script.end(), {Send(burst), Pause(10)});  // 55,000 bytes in all
  script.push_back(Send(OkWithLength(kQuote)));
  return script;
}

std::vector<Action> TrickleScript() {
  const std::string body = kQuote + std::string(100, ' ');
  std::vector<Action> script = {
      Send(Reply("HTTP/1.1 200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n"))};
  for (char c : body) script.insert(script.end(), {Send(std::string(1, c)), Pause(10)});
  return script;
}

// A window of the waiting thread, asked from another thread as a test driver would:
// each answer comes when the pump next runs.
TEST_F(http_client, WindowsAnswerPromptlyWhileARequestWaitsOrDataKeepsComing) {
  anti_freeze_.SetPump({});
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const struct {
    const char* what;
    std::vector<Action> script;
    std::size_t body_size;
    DWORD lookup_hang_ms;  // 0: the address is given as digits, nothing is looked up
  } cases[] = {
      {"waiting", WaitingScript(), kQuote.size(), 0},
      {"interim replies", InterimFloodScript(), kQuote.size(), 0},
      {"a trickled body", TrickleScript(), kQuote.size() + 100, 0},
      {"a hanging name lookup", {Send(OkWithLength(kQuote))}, kQuote.size(), 1500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server(c.script);
    std::optional<HangingResolver> resolver;
    if (c.lookup_hang_ms) resolver.emplace(c.lookup_hang_ms);
    std::vector<long long> round_trips;
    std::atomic<bool> got{false};
    // Probes only while the request runs: once it has returned, nothing here pumps.
    std::thread prober([&] {
      Sleep(200);
      while (!got && round_trips.size() < 20) {
        const Clock::time_point start = Clock::now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
        if (!got) round_trips.push_back(MillisecondsSince(start));
        Sleep(37);
      }
    });
    tk::TIdHTTP client;
    EXPECT_EQ(client.Get(server.Url(c.lookup_hang_ms ? "quotes.ticker.test" : "127.0.0.1")).size(), c.body_size);
    got = true;
    prober.join();
    ASSERT_GE(round_trips.size(), 10u) << "the request ended too soon to be probed";
    // Only a pump at the end of each 250-ms slice would leave most of them waiting 100 ms and more;
    // none while data keeps coming would leave them waiting for the whole reply.
    std::sort(round_trips.begin(), round_trips.end());
    const std::size_t n = round_trips.size();
    EXPECT_LT(round_trips[n - 2], 60) << "the slowest answers took " << round_trips[n - 2] << " and "
                                      << round_trips[n - 1] << " ms";
  }
  DestroyWindow(window);
}

TEST_F(http_client, OnlyOneAntiFreezePerApplication) {
  EXPECT_THROW(tk::TIdAntiFreeze second, tk::Exception);
  EXPECT_EQ(tk::TIdAntiFreeze::Instance(), &anti_freeze_);
}

// ---------------------------------------------------------------------------
// The client's life

TEST_F(http_client, OneRequestPerClient) {
  ScriptedServer server({Send(OkWithLength(kQuote))});
  tk::TIdHTTP client;
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote));
  EXPECT_THROW(client.Get(server.Url()), tk::Exception);
  Sleep(100);
  EXPECT_EQ(server.Connections(), 1);
}

TEST_F(http_client, DisconnectIsHarmlessAtAnyTime) {
  ScriptedServer server({Send(OkWithLength(kQuote))});
  tk::TIdHTTP client;
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.Get(server.Url()), Widened(kQuote)) << "a disconnect before the request does not use it up";
  client.Disconnect();
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
}

TEST_F(http_client, AnAddressOtherThanHttpFails) {
  tk::TIdHTTP client;
  EXPECT_TRUE(FailureOf([&] { client.Get("https://127.0.0.1/x"); }));
  EXPECT_EQ(pumps_, 0);
}

}  // namespace
