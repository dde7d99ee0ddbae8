#include "core/http_wire.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Reader = core::HttpReplyReader;
using Step = Reader::Step;
using namespace std::string_literals;

// ---------------------------------------------------------------------------
// The request

const std::string kUserAgentLine = "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";

TEST(BuildGetRequest, SendsExactlyTheFiveLinesAndTheEmptyLine) {
  EXPECT_EQ(core::BuildGetRequest("www.torvane.example", "/wap/ruanjian/abc.php"),
            "GET /wap/ruanjian/abc.php HTTP/1.1\r\n"
            "Host: www.torvane.example\r\n"
            "Accept: text/html, */*\r\n"
            "Accept-Encoding: identity\r\n" +
                kUserAgentLine + "\r\n");
}

TEST(BuildGetRequest, FromASplitAddressCarriesTheHostAsWritten) {
  const std::optional<core::HttpUrl> url = core::SplitHttpUrl("http://127.0.0.1:18631/wap/ruanjian/abc.php");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(core::BuildGetRequest(url->host_header, url->path), "GET /wap/ruanjian/abc.php HTTP/1.1\r\n"
                                                                "Host: 127.0.0.1:18631\r\n"
                                                                "Accept: text/html, */*\r\n"
                                                                "Accept-Encoding: identity\r\n" +
                                                                    kUserAgentLine + "\r\n");
}

// ---------------------------------------------------------------------------
// Addresses

TEST(SplitHttpUrl, SplitsHostPortAndPath) {
  struct Case {
    const char* url;
    const char* host;
    int port;
    const char* host_header;
    const char* path;
  } cases[] = {
      {"http://www.torvane.example/wap/ruanjian/abc.php", "www.torvane.example", 80, "www.torvane.example",
       "/wap/ruanjian/abc.php"},
      {"http://127.0.0.1:18631/wap/ruanjian/abc.php", "127.0.0.1", 18631, "127.0.0.1:18631", "/wap/ruanjian/abc.php"},
      {"http://example.test:80/x", "example.test", 80, "example.test", "/x"},
      {"http://example.test", "example.test", 80, "example.test", "/"},
      {"http://example.test/", "example.test", 80, "example.test", "/"},
      {"http://example.test?a=1", "example.test", 80, "example.test", "/?a=1"},
      {"http://example.test/p?q=1#frag", "example.test", 80, "example.test", "/p?q=1"},
      {"HTTP://Example.Test:8080/P", "Example.Test", 8080, "Example.Test:8080", "/P"},
      {"http://h:65535/", "h", 65535, "h:65535", "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const std::optional<core::HttpUrl> url = core::SplitHttpUrl(c.url);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->host, c.host);
    EXPECT_EQ(url->port, c.port);
    EXPECT_EQ(url->host_header, c.host_header);
    EXPECT_EQ(url->path, c.path);
  }
}

TEST(SplitHttpUrl, RefusesWhatItCannotFetch) {
  for (const char* url :
       {"", "https://example.test/", "ftp://example.test/", "example.test/x", "http://", "http:///path", "http://:80/",
        "http://h:/", "http://h:0/", "http://h:65536/", "http://h:8o/", "http://user@h/", "http://h:123456/"}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(core::SplitHttpUrl(url).has_value());
  }
}

// ---------------------------------------------------------------------------
// Reading replies: a script of what the connection delivers, played into the
// reader in many different splits, must always end the same way.

struct Event {
  enum Kind { kBytes, kQuiet, kClose, kLocalClose } kind;
  std::string bytes;
};

Event Bytes(std::string bytes) { return {Event::kBytes, std::move(bytes)}; }
// 100 ms without bytes.
Event Quiet() { return {Event::kQuiet, {}}; }
Event Close() { return {Event::kClose, {}}; }
// A close from this side, as a nested refresh or the quit makes it.
Event LocalClose() { return {Event::kLocalClose, {}}; }

struct Outcome {
  Step step = Step::kNeedBytes;
  int status = 0;
  std::string body;
  bool keep_open = false;

  bool operator==(const Outcome& o) const {
    return step == o.step && status == o.status && body == o.body && keep_open == o.keep_open;
  }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  const char* names[] = {"need bytes", "need probe", "done", "failed"};
  os << names[static_cast<int>(o.step)];
  if (o.step == Step::kDone) {
    os << " status " << o.status << " keep_open " << o.keep_open << " body(" << o.body.size() << ") \""
       << o.body.substr(0, 60) << "\"";
  }
  return os;
}

Outcome Done(int status, std::string body, bool keep_open) { return {Step::kDone, status, std::move(body), keep_open}; }
Outcome Failed() { return {Step::kFailed, 0, {}, false}; }
// Still reading when the script ends: the request would keep waiting.
Outcome Waiting() { return {Step::kNeedBytes, 0, {}, false}; }

Outcome OutcomeOf(const Reader& reader) {
  if (reader.CurrentStep() == Step::kDone) return Done(reader.Status(), reader.Body(), reader.KeepOpen());
  return {reader.CurrentStep(), 0, {}, false};
}

using Splitter = std::function<std::vector<std::string_view>(std::string_view)>;

std::vector<std::string_view> Whole(std::string_view bytes) { return {bytes}; }

std::vector<std::string_view> ByteByByte(std::string_view bytes) {
  std::vector<std::string_view> pieces;
  for (std::size_t i = 0; i < bytes.size(); ++i) pieces.push_back(bytes.substr(i, 1));
  return pieces;
}

// Pieces of 1 to max_piece bytes, drawn from a fixed seed.
Splitter RandomPieces(std::uint32_t seed, std::size_t max_piece) {
  return [seed, max_piece](std::string_view bytes) {
    std::mt19937 random(seed + static_cast<std::uint32_t>(bytes.size()));
    std::vector<std::string_view> pieces;
    for (std::size_t i = 0; i < bytes.size();) {
      const std::size_t n = 1 + random() % max_piece;
      pieces.push_back(bytes.substr(i, n));
      i += n;
    }
    return pieces;
  };
}

struct NamedSplitter {
  std::string name;
  Splitter split;
};

std::vector<NamedSplitter> FineSplits() {
  std::vector<NamedSplitter> splits = {{"whole", Whole}, {"byte by byte", ByteByByte}};
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    splits.push_back({"random seed " + std::to_string(seed), RandomPieces(seed, seed < 5 ? 7 : 97)});
  }
  return splits;
}

// For replies of a megabyte: whole and in larger random pieces.
std::vector<NamedSplitter> CoarseSplits() {
  return {{"whole", Whole}, {"random 4 KiB", RandomPieces(11, 4096)}, {"random 64 KiB", RandomPieces(12, 65536)}};
}

Outcome Play(const std::vector<Event>& script, const Splitter& split) {
  Reader reader;
  for (const Event& event : script) {
    if (reader.CurrentStep() == Step::kDone || reader.CurrentStep() == Step::kFailed) break;
    switch (event.kind) {
      case Event::kBytes:
        for (std::string_view piece : split(event.bytes)) reader.Feed(piece);
        break;
      case Event::kQuiet:
        if (reader.CurrentStep() == Step::kNeedProbe) reader.ProbeTimedOut();
        break;
      case Event::kClose:
        reader.FeedClose();
        break;
      case Event::kLocalClose:
        reader.FeedLocalClose();
        break;
    }
  }
  return OutcomeOf(reader);
}

struct ReplyCase {
  std::string what;
  std::vector<Event> script;
  Outcome expected;
};

void ExpectReplies(const std::vector<ReplyCase>& cases, const std::vector<NamedSplitter>& splits = FineSplits()) {
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const NamedSplitter& split : splits) {
      SCOPED_TRACE(split.name);
      EXPECT_EQ(Play(c.script, split.split), c.expected);
    }
  }
}

std::string Reply(const std::string& status_line, const std::string& headers, const std::string& body = "") {
  return status_line + "\r\n" + headers + "\r\n" + body;
}

std::string WithLength(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n"; }

const std::string kQuote = "2345.67|R|28.90|D\r\n";

TEST(HttpReplyReader, SuccessfulStatuses) {
  ExpectReplies({
      {"200 with length", {Bytes(Reply("HTTP/1.1 200 OK", WithLength(kQuote), kQuote))}, Done(200, kQuote, true)},
      {"HTTP/1.0 200", {Bytes(Reply("HTTP/1.0 200 OK", WithLength(kQuote), kQuote))}, Done(200, kQuote, true)},
      {"203", {Bytes(Reply("HTTP/1.1 203 Non-Authoritative", WithLength("x"), "x"))}, Done(203, "x", true)},
      {"201 with Location",
       {Bytes(Reply("HTTP/1.1 201 Created", "Location: /new\r\n" + WithLength("made"), "made"))},
       Done(201, "made", true)},
      {"201 without Location",
       {Bytes(Reply("HTTP/1.1 201 Created", WithLength("made"), "made"))},
       Done(201, "made", true)},
      {"206", {Bytes(Reply("HTTP/1.1 206 Partial", WithLength("ab"), "ab"))}, Done(206, "ab", true)},
      {"299", {Bytes(Reply("HTTP/1.1 299 Odd", WithLength("ab"), "ab"))}, Done(299, "ab", true)},
      {"status without reason", {Bytes(Reply("HTTP/1.1 200", WithLength("ab"), "ab"))}, Done(200, "ab", true)},
      {"blanks around the code", {Bytes(Reply("HTTP/1.1  \t200   OK", WithLength("ab"), "ab"))}, Done(200, "ab", true)},
      {"LF-only line ends", {Bytes("HTTP/1.1 200 OK\nContent-Length: 2\n\nab")}, Done(200, "ab", true)},
  });
}

TEST(HttpReplyReader, ALocationFailsEveryStatusBut201) {
  ExpectReplies({
      {"200 with Location",
       {Bytes(Reply("HTTP/1.1 200 OK", "Location: http://elsewhere/\r\n" + WithLength("x"), "x"))},
       Failed()},
      {"200 with lower-case location",
       {Bytes(Reply("HTTP/1.1 200 OK", "location: /x\r\n" + WithLength("x"), "x"))},
       Failed()},
      {"200 with empty Location", {Bytes(Reply("HTTP/1.1 200 OK", "Location:\r\n" + WithLength("x"), "x"))}, Failed()},
      {"202 with Location",
       {Bytes(Reply("HTTP/1.1 202 Accepted", "Location: /x\r\n" + WithLength("x"), "x"))},
       Failed()},
      {"204 with Location", {Bytes(Reply("HTTP/1.1 204 No Content", "Location: /x\r\n")), Quiet()}, Failed()},
      {"404 with Location",
       {Bytes(Reply("HTTP/1.1 404 Not Found", "Location: /x\r\n" + WithLength("x"), "x"))},
       Failed()},
  });
}

TEST(HttpReplyReader, FailingStatuses) {
  std::vector<ReplyCase> cases;
  for (const char* status :
       {"300 Multiple", "301 Moved", "302 Found", "303 See Other", "307 Temporary", "308 Permanent", "400 Bad Request",
        "401 Unauthorized", "403 Forbidden", "404 Not Found", "407 Proxy Authentication Required",
        "500 Internal Server Error", "503 Unavailable", "600 Beyond"}) {
    const std::string line = "HTTP/1.1 "s + status;
    cases.push_back({line + " with length", {Bytes(Reply(line, WithLength("gone"), "gone"))}, Failed()});
    cases.push_back(
        {line + " with Location", {Bytes(Reply(line, "Location: /x\r\n" + WithLength("a"), "a"))}, Failed()});
    cases.push_back({line + " read until close", {Bytes(Reply(line, "", "some body")), Close()}, Failed()});
    cases.push_back({line + " with an empty body", {Bytes(Reply(line, "Content-Length: 0\r\n"))}, Failed()});
  }
  cases.push_back({"no status code", {Bytes(Reply("HTTP/1.1", WithLength("x"), "x"))}, Failed()});
  cases.push_back({"a word for a code", {Bytes(Reply("HTTP/1.1 OK 200", WithLength("x"), "x"))}, Failed()});
  cases.push_back({"code with letters", {Bytes(Reply("HTTP/1.1 200x OK", WithLength("x"), "x"))}, Failed()});
  cases.push_back({"huge code", {Bytes(Reply("HTTP/1.1 99999999999 OK", WithLength("x"), "x"))}, Failed()});
  cases.push_back({"empty status line", {Bytes(Reply("", WithLength("x"), "x"))}, Failed()});
  cases.push_back({"not HTTP at all", {Bytes("hello\r\n\r\n"), Close()}, Failed()});
  ExpectReplies(cases);
}

TEST(HttpReplyReader, StatusCodeIsTheSecondWordOrMinusOne) {
  struct Case {
    const char* line;
    int status;
  } cases[] = {
      {"HTTP/1.1 404 Not Found", 404},
      {"HTTP/1.1 302", 302},
      {"XYZ 200 OK", 200},
      {"HTTP/1.1", -1},
      {"HTTP/1.1 OK", -1},
      {"", -1},
      {"  HTTP/1.1   503  busy", 503},
      {"HTTP/1.1 -200 OK", -1},
      {"HTTP/1.1 2OO OK", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Reader reader;
    reader.Feed(Reply(c.line, "Content-Length: 0\r\n"));
    EXPECT_EQ(reader.Status(), c.status);
  }
}

TEST(HttpReplyReader, AFailingReplyIsReadToItsEndFirst) {
  ExpectReplies({
      {"404 without length, kept open: still reading",
       {Bytes(Reply("HTTP/1.1 404 Not Found", "", "partial"))},
       Waiting()},
      {"302 with length, body short: still reading",
       {Bytes(Reply("HTTP/1.1 302 Found", "Location: /x\r\nContent-Length: 10\r\n", "abc"))},
       Waiting()},
      {"500 chunked, last chunk not yet there",
       {Bytes(Reply("HTTP/1.1 500 Oops", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n"))},
       Waiting()},
      {"404 chunked, complete",
       {Bytes(Reply("HTTP/1.1 404 Nope", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n0\r\n\r\n"))},
       Failed()},
  });
}

TEST(HttpReplyReader, InterimRepliesArePassedOver) {
  const std::string final_reply = Reply("HTTP/1.1 200 OK", WithLength(kQuote), kQuote);
  ExpectReplies({
      {"one 100", {Bytes("HTTP/1.1 100 Continue\r\n\r\n" + final_reply)}, Done(200, kQuote, true)},
      {"bare 100 line", {Bytes("HTTP/1.1 100\r\n\r\n" + final_reply)}, Done(200, kQuote, true)},
      {"three 100s with headers",
       {Bytes("HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 x\r\nConnection: "
              "close\r\n\r\n" +
              final_reply)},
       Done(200, kQuote, true)},
      {"100 then a failing status",
       {Bytes("HTTP/1.1 100 Continue\r\n\r\n" + Reply("HTTP/1.1 404 No", WithLength("a"), "a"))},
       Failed()},
      {"100 then close", {Bytes("HTTP/1.1 100 Continue\r\n\r\n"), Close()}, Failed()},
      {"100 then close after the next status line",
       {Bytes("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"), Close()},
       Failed()},
      {"103 Early Hints with a Link header",
       {Bytes("HTTP/1.1 103 Early Hints\r\nLink: </quote.css>; rel=preload; as=style\r\n\r\n" + final_reply)},
       Done(200, kQuote, true)},
      {"102 Processing", {Bytes("HTTP/1.1 102 Processing\r\n\r\n" + final_reply)}, Done(200, kQuote, true)},
      {"102, 100 and 103 in a row",
       {Bytes("HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\n\r\n" +
              final_reply)},
       Done(200, kQuote, true)},
      {"an unknown 1xx", {Bytes("HTTP/1.1 199 Whatever\r\n\r\n" + final_reply)}, Done(200, kQuote, true)},
      {"103 then a pause before the final reply",
       {Bytes("HTTP/1.1 103 Early Hints\r\n\r\n"), Quiet(), Bytes(final_reply)},
       Done(200, kQuote, true)},
      {"103 then close", {Bytes("HTTP/1.1 103 Early Hints\r\n\r\n"), Close()}, Failed()},
      {"101 Switching Protocols fails", {Bytes("HTTP/1.1 101 Switching Protocols\r\n\r\n" + final_reply)}, Failed()},
      {"101 after a 103 fails",
       {Bytes("HTTP/1.1 103 Early Hints\r\n\r\nHTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n")},
       Failed()},
  });
}

TEST(HttpReplyReader, InterimHeadersDoNotCountForTheFinalReply) {
  Reader reader;
  reader.Feed("HTTP/1.1 100 Continue\r\nLocation: /x\r\nConnection: close\r\n\r\n"
              "HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\nConnection: close\r\n\r\n" +
              Reply("HTTP/1.1 200 OK", WithLength("ok"), "ok"));
  ASSERT_EQ(reader.CurrentStep(), Step::kDone);
  EXPECT_EQ(reader.Body(), "ok");
  EXPECT_TRUE(reader.KeepOpen());
  EXPECT_FALSE(reader.Header("Location").has_value());
}

TEST(HttpReplyReader, RepliesWithoutABodyProbeFor100Milliseconds) {
  ExpectReplies({
      {"204, nothing within the probe", {Bytes(Reply("HTTP/1.1 204 No Content", "")), Quiet()}, Done(204, "", true)},
      {"204, a body arrives and is dropped",
       {Bytes(Reply("HTTP/1.1 204 No Content", "Content-Length: 5\r\n")), Bytes("hello")},
       Done(204, "", true)},
      {"204, body in the same bytes as the headers",
       {Bytes(Reply("HTTP/1.1 204 No Content", "Content-Length: 5\r\n", "hello"))},
       Done(204, "", true)},
      {"204, bytes without length hold until close",
       {Bytes(Reply("HTTP/1.1 204 No Content", "")), Bytes("junk")},
       Waiting()},
      {"204, bytes without length then close",
       {Bytes(Reply("HTTP/1.1 204 No Content", "")), Bytes("junk"), Close()},
       Done(204, "", false)},
      {"204, close within the probe", {Bytes(Reply("HTTP/1.1 204 No Content", "")), Close()}, Done(204, "", false)},
      {"204, bytes after the probe ended are not read",
       {Bytes(Reply("HTTP/1.1 204 No Content", "")), Quiet(), Bytes("late")},
       Done(204, "", true)},
      {"304, nothing within the probe", {Bytes(Reply("HTTP/1.1 304 Not Modified", "")), Quiet()}, Failed()},
      {"304, body within the probe",
       {Bytes(Reply("HTTP/1.1 304 Not Modified", "Content-Length: 2\r\n")), Bytes("ab")},
       Failed()},
      {"304, body without length holds", {Bytes(Reply("HTTP/1.1 304 Not Modified", "")), Bytes("ab")}, Waiting()},
      {"101 fails without a probe", {Bytes(Reply("HTTP/1.1 101 Switching", ""))}, Failed()},
  });
}

TEST(HttpReplyReader, AsksForTheProbeOnlyWhenNoBodyIsExpected) {
  struct Case {
    std::string head;
    Step step;
  } cases[] = {
      {Reply("HTTP/1.1 204 No Content", ""), Step::kNeedProbe},
      {Reply("HTTP/1.1 204 No Content", "Content-Length: 0\r\n"), Step::kNeedProbe},
      {Reply("HTTP/1.1 304 Not Modified", ""), Step::kNeedProbe},
      {Reply("HTTP/1.1 101 Switching", ""), Step::kFailed},
      {Reply("HTTP/1.1 200 OK", ""), Step::kNeedBytes},
      {Reply("HTTP/1.1 404 Not Found", ""), Step::kNeedBytes},
      {Reply("HTTP/1.1 100 Continue", ""), Step::kNeedBytes},
      {Reply("HTTP/1.1 103 Early Hints", ""), Step::kNeedBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    Reader reader;
    EXPECT_EQ(reader.Feed(c.head), c.step);
  }
}

TEST(HttpReplyReader, LengthFraming) {
  ExpectReplies({
      {"exact length", {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 5\r\n", "hello"))}, Done(200, "hello", true)},
      {"bytes beyond the length are not body",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 5\r\n", "hello world"))},
       Done(200, "hello", true)},
      {"length with blanks",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length:   5  \r\n", "hello"))},
       Done(200, "hello", true)},
      {"length with a plus sign",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: +5\r\n", "hello"))},
       Done(200, "hello", true)},
      {"length with leading zeros",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 005\r\n", "hello"))},
       Done(200, "hello", true)},
      {"length 0 is an empty body",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 0\r\n", "ignored"))},
       Done(200, "", true)},
      {"length not yet complete", {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 10\r\n", "1234"))}, Waiting()},
      {"first Content-Length counts",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 3\r\nContent-Length: 5\r\n", "hello"))},
       Done(200, "hel", true)},
      {"header names in any case",
       {Bytes(Reply("HTTP/1.1 200 OK", "CONTENT-LENGTH: 3\r\n", "hello"))},
       Done(200, "hel", true)},
      {"binary body",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 4\r\n", "\0\r\n\xFF"s))},
       Done(200, "\0\r\n\xFF"s, true)},
  });
}

TEST(HttpReplyReader, WithoutAUsableLengthTheBodyRunsUntilClose) {
  const std::string body = "line one\r\nline two\r\n";
  ExpectReplies({
      {"no length", {Bytes(Reply("HTTP/1.1 200 OK", "", body)), Close()}, Done(200, body, false)},
      {"negative length",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: -1\r\n", body)), Close()},
       Done(200, body, false)},
      {"length not a number",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: ten\r\n", body)), Close()},
       Done(200, body, false)},
      {"length with trailing text",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 5 bytes\r\n", body)), Close()},
       Done(200, body, false)},
      {"empty length", {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length:\r\n", body)), Close()}, Done(200, body, false)},
      {"length too large to hold",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 99999999999999999999\r\n", body)), Close()},
       Done(200, body, false)},
      {"no length, empty body", {Bytes(Reply("HTTP/1.1 200 OK", "")), Close()}, Done(200, "", false)},
      {"no length, never closed", {Bytes(Reply("HTTP/1.1 200 OK", "", body))}, Waiting()},
  });
}

TEST(HttpReplyReader, ChunkedFraming) {
  ExpectReplies({
      {"two chunks",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"))},
       Done(200, "hello world", true)},
      {"hex sizes in either case",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                    "a\r\n0123456789\r\nB\r\nabcdefghijk\r\n0\r\n\r\n"))},
       Done(200, "0123456789abcdefghijk", true)},
      {"value contains chunked in any case",
       {Bytes(Reply("HTTP/1.1 200 OK", "transfer-encoding: gzip, CHUNKED\r\n", "3\r\nabc\r\n0\r\n\r\n"))},
       Done(200, "abc", true)},
      {"chunked wins over a length",
       {Bytes(
           Reply("HTTP/1.1 200 OK", "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n", "3\r\nabc\r\n0\r\n\r\n"))},
       Done(200, "abc", true)},
      {"size ends at the first blank",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3 ext\r\nabc\r\n0\r\n\r\n"))},
       Done(200, "abc", true)},
      {"size ends at a chunk extension",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                    "5;name=value\r\n1234.\r\n3;x=y;z\r\n5|6\r\n0;last\r\n\r\n"))},
       Done(200, "1234.5|6", true)},
      {"blanks before an extension, quoted extension value",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3 \t;a=\"1 2\"\r\nabc\r\n0\r\n\r\n"))},
       Done(200, "abc", true)},
      {"a size that is not a number fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\nzz\r\n\r\n"))},
       Failed()},
      {"a size with letters after its digits fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3x\r\nabc\r\n0\r\n\r\n"))},
       Failed()},
      {"an extension without a size fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n;x=y\r\n\r\n"))},
       Failed()},
      {"an empty size line fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n\r\n\r\n"))},
       Failed()},
      {"chunk data longer than its size fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabcdef\r\n0\r\n\r\n"))},
       Failed()},
      {"chunk data without its line end fails",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\n1|23\r\n"))},
       Failed()},
      {"chunk data ended by a bare LF",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\n1|2\n0\n\n"))},
       Done(200, "1|2", true)},
      {"one trailer line is read after the last chunk",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n0\r\nX-Trailer: 1\r\n"))},
       Done(200, "abc", true)},
      {"waits for the line after the last chunk",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "3\r\nabc\r\n0\r\n"))},
       Waiting()},
      {"chunk bytes include CR and LF",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", "4\r\n\r\n\r\n\r\n0\r\n\r\n"))},
       Done(200, "\r\n\r\n", true)},
      {"not chunked: read until close",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: identity\r\n", "3\r\nabc")), Close()},
       Done(200, "3\r\nabc", false)},
  });
}

TEST(HttpReplyReader, OrderlyCloseBeforeTheHeadersFails) {
  ExpectReplies({
      {"nothing received", {Close()}, Failed()},
      {"part of the status line", {Bytes("HTTP/1.1 20"), Close()}, Failed()},
      {"status line without its LF", {Bytes("HTTP/1.1 200 OK\r"), Close()}, Failed()},
      {"status line, no header line yet", {Bytes("HTTP/1.1 200 OK\r\n"), Close()}, Failed()},
      {"status line and part of a header line", {Bytes("HTTP/1.1 200 OK\r\nContent-Len"), Close()}, Failed()},
  });
}

// A close is how a body without a length ends, but it cuts one with a length short.
TEST(HttpReplyReader, OrderlyCloseLaterEndsTheReplyWhereItStandsUnlessALengthIsMissed) {
  ExpectReplies({
      {"after the first header line", {Bytes("HTTP/1.1 200 OK\r\nServer: x\r\n"), Close()}, Done(200, "", false)},
      {"after a length header", {Bytes("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"), Close()}, Failed()},
      {"after the empty line alone", {Bytes("HTTP/1.1 200 OK\r\n\r\n"), Close()}, Done(200, "", false)},
      {"part of a later header line is dropped",
       {Bytes("HTTP/1.1 200 OK\r\nServer: x\r\nContent-Len"), Close()},
       Done(200, "", false)},
      {"length 10, 4 bytes", {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 10\r\n", "1|2\r\n")), Close()}, Failed()},
      {"length 10, none", {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 10\r\n")), Close()}, Failed()},
      {"length 10, all of it",
       {Bytes(Reply("HTTP/1.1 200 OK", "Content-Length: 10\r\n", "1234|56789")), Close()},
       Done(200, "1234|56789", true)},
      {"headers so far decide the status", {Bytes("HTTP/1.1 200 OK\r\nLocation: /x\r\n"), Close()}, Failed()},
      {"failing status, cut short",
       {Bytes(Reply("HTTP/1.1 404 Nope", "Content-Length: 10\r\n", "12")), Close()},
       Failed()},
      {"headers so far say chunked", {Bytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"), Close()}, Failed()},
  });
}

TEST(HttpReplyReader, ACloseFromThisSideFailsWhatIsNotWholeYet) {
  ExpectReplies({
      {"until-close body, part received", {Bytes(Reply("HTTP/1.1 200 OK", "", "1111.11|2")), LocalClose()}, Failed()},
      {"length body, part received",
       {Bytes(Reply("HTTP/1.1 200 OK", WithLength(kQuote), "2345.67|")), LocalClose()},
       Failed()},
      {"a later header line awaited", {Bytes("HTTP/1.1 200 OK\r\nServer: x\r\n"), LocalClose()}, Failed()},
      {"whole length body",
       {Bytes(Reply("HTTP/1.1 200 OK", WithLength(kQuote), kQuote)), LocalClose()},
       Done(200, kQuote, true)},
      {"no body expected", {Bytes(Reply("HTTP/1.1 204 No Content", "")), LocalClose()}, Done(204, "", false)},
  });
}

TEST(HttpReplyReader, OrderlyCloseInsideAChunkedBodyFails) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  ExpectReplies({
      {"before the first size", {Bytes(head), Close()}, Failed()},
      {"inside chunk data", {Bytes(head + "5\r\nhel"), Close()}, Failed()},
      {"before the line after the data", {Bytes(head + "5\r\nhello"), Close()}, Failed()},
      {"before the next size", {Bytes(head + "5\r\nhello\r\n"), Close()}, Failed()},
      {"before the line after the last chunk", {Bytes(head + "5\r\nhello\r\n0\r\n"), Close()}, Failed()},
      {"after the complete body the close changes nothing",
       {Bytes(head + "5\r\nhello\r\n0\r\n\r\n"), Close()},
       Done(200, "hello", true)},
  });
}

TEST(HttpReplyReader, KeepingTheConnectionOpen) {
  const std::string body = WithLength("ok") + "\r\nok";
  ExpectReplies({
      {"no Connection header", {Bytes("HTTP/1.1 200 OK\r\n" + body)}, Done(200, "ok", true)},
      {"Connection: close", {Bytes("HTTP/1.1 200 OK\r\nConnection: close\r\n" + body)}, Done(200, "ok", false)},
      {"close in any case, blanks around",
       {Bytes("HTTP/1.1 200 OK\r\nconnection:   CLoSe \t\r\n" + body)},
       Done(200, "ok", false)},
      {"Proxy-Connection: close",
       {Bytes("HTTP/1.1 200 OK\r\nProxy-Connection: Close\r\n" + body)},
       Done(200, "ok", false)},
      {"keep-alive", {Bytes("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\n" + body)}, Done(200, "ok", true)},
      {"close among other tokens is not close",
       {Bytes("HTTP/1.1 200 OK\r\nConnection: close, TE\r\n" + body)},
       Done(200, "ok", true)},
      {"only the first Connection counts",
       {Bytes("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nConnection: close\r\n" + body)},
       Done(200, "ok", true)},
      {"server closed after the body", {Bytes(Reply("HTTP/1.1 200 OK", "", "ok")), Close()}, Done(200, "ok", false)},
      {"HTTP/1.0 without Connection", {Bytes("HTTP/1.0 200 OK\r\n" + body)}, Done(200, "ok", true)},
  });
}

TEST(HttpReplyReader, HeaderLines) {
  Reader reader;
  reader.Feed("HTTP/1.1 200 OK\r\n"
              "Content-Type: text/plain; charset=GB2312\r\n"
              "X-Folded: first\r\n"
              "  second\r\n"
              "not a header line\r\n"
              "x-twice: one\r\n"
              "X-Twice: two\r\n"
              "X-Blanks:\t  padded value \t\r\n"
              "X-High: caf\xC3\xA9\r\n"
              "Content-Length: 2\r\n"
              "\r\n"
              "ok");
  ASSERT_EQ(reader.CurrentStep(), Step::kDone);
  EXPECT_EQ(reader.Header("content-type"), "text/plain; charset=GB2312");
  EXPECT_EQ(reader.Header("CONTENT-TYPE"), "text/plain; charset=GB2312");
  EXPECT_EQ(reader.Header("X-Folded"), "first second");
  EXPECT_EQ(reader.Header("X-Twice"), "one");
  EXPECT_EQ(reader.Header("X-Blanks"), "padded value");
  EXPECT_EQ(reader.Header("X-High"), "caf??") << "header bytes are read as 7-bit ASCII";
  EXPECT_FALSE(reader.Header("X-Missing").has_value());
  EXPECT_FALSE(reader.Header("not a header line").has_value());
  ASSERT_EQ(reader.Headers().size(), 7u);
  EXPECT_EQ(reader.Headers()[3].name, "X-Twice");
  EXPECT_EQ(reader.Headers()[3].value, "two");
}

TEST(HttpReplyReader, BodyBytesSeenCountsBodyBytesOnly) {
  Reader reader;
  reader.Feed("HTTP/1.1 404 Not Found\r\nContent-Length: 6\r\n\r\n");
  EXPECT_EQ(reader.BodyBytesSeen(), 0u);
  reader.Feed("abc");
  EXPECT_EQ(reader.BodyBytesSeen(), 3u) << "dropped body bytes count too";
  reader.Feed("def");
  EXPECT_EQ(reader.BodyBytesSeen(), 6u);
  EXPECT_EQ(reader.CurrentStep(), Step::kFailed);
}

TEST(HttpReplyReader, LineLengthLimit) {
  // Bytes before the line feed, the CR included.
  auto status_line_of = [](std::size_t bytes_before_lf) {
    std::string line = "HTTP/1.1 200 OK ";
    line.resize(bytes_before_lf - 1, 'x');
    return line;  // Reply() adds the CR
  };
  auto header_line_of = [](std::size_t bytes_before_lf) {
    std::string line = "X-Long: ";
    line.resize(bytes_before_lf - 1, 'y');
    return line + "\r\n";
  };
  const std::size_t limit = Reader::kMaxLine;
  ExpectReplies({
      {"status line at the limit",
       {Bytes(Reply(status_line_of(limit), WithLength("ok"), "ok"))},
       Done(200, "ok", true)},
      {"status line one byte over", {Bytes(Reply(status_line_of(limit + 1), WithLength("ok"), "ok"))}, Failed()},
      {"header line at the limit",
       {Bytes(Reply("HTTP/1.1 200 OK", header_line_of(limit) + WithLength("ok"), "ok"))},
       Done(200, "ok", true)},
      {"header line one byte over",
       {Bytes(Reply("HTTP/1.1 200 OK", header_line_of(limit + 1) + WithLength("ok"), "ok"))},
       Failed()},
      {"the limit counts the CR too",
       {Bytes(status_line_of(limit + 1) + "\nContent-Length: 0\n\n")},
       Done(200, "", true)},
      {"chunk size line over the limit",
       {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n",
                    "3" + std::string(limit, ' ') + "\r\nabc\r\n0\r\n\r\n"))},
       Failed()},
      {"a long line fails before its LF arrives", {Bytes(std::string(limit + 1, 'x'))}, Failed()},
      {"a line at the limit without LF waits", {Bytes(std::string(limit, 'x'))}, Waiting()},
  });
}

// ---------------------------------------------------------------------------
// Limits that keep a misbehaving server from eating memory

// Header lines (line ends included) that add up to exactly `bytes`,
// the empty line that ends the block counted.
std::string HeaderBlockOf(std::size_t bytes) {
  std::string block;
  const std::size_t end = bytes - 2;
  int n = 0;
  while (block.size() < end) {
    std::string line = "X-Filler-" + std::to_string(n++) + ": ";
    const std::size_t room = end - block.size();
    const std::size_t length = std::min<std::size_t>(1000, room);
    if (length < line.size() + 3) {
      // Too little room for another header: stretch the last one.
      block.insert(block.size() - 2, std::string(room, 'z'));
      break;
    }
    line.resize(length - 2, 'v');
    block += line + "\r\n";
  }
  return block + "\r\n";
}

std::string Repeated(const std::string& piece, std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += piece;
  return text;
}

TEST(HttpReplyReader, HeaderBlockLimit) {
  const std::size_t limit = Reader::kMaxHeaderBlock;
  ASSERT_EQ(HeaderBlockOf(limit).size(), limit);
  ExpectReplies({
      {"at the limit",
       {Bytes("HTTP/1.1 200 OK\r\n" + WithLength("ok") + HeaderBlockOf(limit - WithLength("ok").size()) + "ok")},
       Done(200, "ok", true)},
      {"one byte over",
       {Bytes("HTTP/1.1 200 OK\r\n" + WithLength("ok") + HeaderBlockOf(limit + 1 - WithLength("ok").size()) + "ok")},
       Failed()},
      {"far over, never ending",
       {Bytes("HTTP/1.1 200 OK\r\n" + HeaderBlockOf(4 * limit).substr(0, 3 * limit))},
       Failed()},
      {"interim replies count toward the block",
       {Bytes("HTTP/1.1 100 Continue\r\n" + HeaderBlockOf(limit / 2) + "HTTP/1.1 200 OK\r\n" + WithLength("ok") +
              HeaderBlockOf(limit / 2 - WithLength("ok").size()) + "ok")},
       Failed()},
      {"an endless stream of interim replies", {Bytes(Repeated("HTTP/1.1 100 Continue\r\n\r\n", 3 * limit))}, Failed()},
  });
}

TEST(HttpReplyReader, BodyLimit) {
  const std::size_t limit = Reader::kMaxBody;
  const std::string full(limit, 'b');
  const std::string over(limit + 1, 'b');
  std::string chunked_full;
  std::string chunked_over;
  for (std::size_t i = 0; i < 16; ++i) chunked_full += "10000\r\n" + full.substr(0, 0x10000) + "\r\n";
  chunked_over = chunked_full + "1\r\nb\r\n0\r\n\r\n";
  chunked_full += "0\r\n\r\n";
  ExpectReplies(
      {
          {"length at the limit", {Bytes(Reply("HTTP/1.1 200 OK", WithLength(full), full))}, Done(200, full, true)},
          {"length one over", {Bytes(Reply("HTTP/1.1 200 OK", WithLength(over), over))}, Failed()},
          {"until close at the limit", {Bytes(Reply("HTTP/1.1 200 OK", "", full)), Close()}, Done(200, full, false)},
          {"until close one over, never closed", {Bytes(Reply("HTTP/1.1 200 OK", "", over))}, Failed()},
          {"chunked at the limit",
           {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", chunked_full))},
           Done(200, full, true)},
          {"chunked one over",
           {Bytes(Reply("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", chunked_over))},
           Failed()},
          {"a dropped body one over, never closed", {Bytes(Reply("HTTP/1.1 500 Oops", "", over))}, Failed()},
      },
      CoarseSplits());
}

TEST(HttpReplyReader, ChunkSizeLimit) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  ExpectReplies({
      {"largest size that fits: waits for its data", {Bytes(head + "7FFFFFFFFFFFFFFF\r\nsome")}, Waiting()},
      {"leading zeros do not overflow",
       {Bytes(head + "0000000000000000000000000003\r\nabc\r\n0\r\n\r\n")},
       Done(200, "abc", true)},
      {"one past the largest", {Bytes(head + "8000000000000000\r\nsome")}, Failed()},
      {"sixteen F", {Bytes(head + "FFFFFFFFFFFFFFFF\r\n")}, Failed()},
      {"seventeen digits", {Bytes(head + "10000000000000000\r\n")}, Failed()},
      {"hundreds of digits", {Bytes(head + std::string(300, 'f') + "\r\n")}, Failed()},
  });
}

TEST(HttpReplyReader, BytesAfterTheEndChangeNothing) {
  Reader reader;
  reader.Feed(Reply("HTTP/1.1 200 OK", WithLength("ok"), "ok"));
  ASSERT_EQ(reader.CurrentStep(), Step::kDone);
  EXPECT_EQ(reader.Feed("HTTP/1.1 500 Oops\r\n\r\nmore"), Step::kDone);
  EXPECT_EQ(reader.FeedClose(), Step::kDone);
  EXPECT_EQ(reader.Status(), 200);
  EXPECT_EQ(reader.Body(), "ok");
  EXPECT_TRUE(reader.KeepOpen());
}

TEST(HttpReplyReader, FailuresExplainThemselves) {
  for (const std::string& reply : {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"s, std::string(20000, 'x')}) {
    Reader reader;
    reader.Feed(reply);
    ASSERT_EQ(reader.CurrentStep(), Step::kFailed);
    EXPECT_FALSE(reader.Error().empty());
  }
  Reader reader;
  reader.FeedClose();
  ASSERT_EQ(reader.CurrentStep(), Step::kFailed);
  EXPECT_FALSE(reader.Error().empty());
}

}  // namespace
