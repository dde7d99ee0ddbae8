#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The whole GET request: request line, Host, Accept, Accept-Encoding,
// User-Agent and the empty line, each ended by CR LF. Nothing else is sent.
std::string BuildGetRequest(std::string_view host_header, std::string_view path);

struct HttpUrl {
  std::string host;  // what gets resolved: a name or a dotted IPv4 address
  std::uint16_t port = 80;
  std::string host_header;  // the host as written, with ":port" unless the port is 80
  std::string path;         // "/" when the address has none
};

// Splits "http://host[:port][/path]". The scheme matches without regard to
// case; a fragment is dropped. Nothing for another scheme, an empty host,
// user information or a port that is not a number from 1 to 65535.
std::optional<HttpUrl> SplitHttpUrl(std::string_view url);

struct HttpHeader {
  std::string name;
  std::string value;  // trimmed
};

// Reads one HTTP reply from bytes fed in whatever pieces they arrive.
//
// After each call the reader says what it needs next:
//   kNeedBytes  more bytes (Feed), the news of an orderly close by the server
//               (FeedClose) or of a close from this side (FeedLocalClose);
//   kNeedProbe  the reply expects no body: wait up to 100 ms, then Feed what
//               arrived, FeedClose on a close, or ProbeTimedOut when nothing came;
//   kDone       Status, Body, the headers and KeepOpen hold the outcome;
//   kFailed     Error says why.
// After FeedClose or FeedLocalClose the reader is always done or failed.
// Bytes fed after the reply has ended are ignored.
class HttpReplyReader {
 public:
  enum class Step { kNeedBytes, kNeedProbe, kDone, kFailed };

  // The longest line before its line feed (CR included).
  static constexpr std::size_t kMaxLine = 16384;
  // Header lines of one reply together, line ends included, and the whole
  // of every interim reply before it: an endless stream of them fails too.
  static constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
  // Body bytes, also of a body that is read only to be dropped.
  static constexpr std::size_t kMaxBody = 1024 * 1024;

  Step Feed(std::string_view bytes);
  Step FeedClose();
  // The connection was closed from this side: a reply not yet whole fails,
  // whatever its framing, since what it lacks can no longer come.
  Step FeedLocalClose();
  Step ProbeTimedOut();
  Step CurrentStep() const { return step_; }

  // The status code of the last status line read; -1 when it has none.
  int Status() const { return status_; }
  // The body of a successful reply; empty when the status fails.
  const std::string& Body() const { return body_; }
  // Body bytes seen so far, kept or dropped; lets the caller tell a block
  // that carried body bytes.
  std::uint64_t BodyBytesSeen() const { return body_seen_; }
  // The header lines of the final reply, in arrival order.
  const std::vector<HttpHeader>& Headers() const { return headers_; }
  // The first header of that name, matched without regard to case.
  std::optional<std::string> Header(std::string_view name) const;
  // Whether the connection may stay open after a done reply.
  bool KeepOpen() const { return keep_open_; }
  const std::string& Error() const { return error_; }

 private:
  enum class Phase {
    kStatusLine,
    kHeaderLines,
    kProbe,
    kLengthBody,
    kBodyUntilClose,
    kChunkSize,
    kChunkData,
    kChunkDataEnd,
    kChunkTrailer,
    kEnded,
  };

  void Run();
  bool RunOnce();
  bool TakeLine(std::string& line);
  void OnStatusLine(const std::string& line);
  void OnHeaderLine(const std::string& line);
  void OnHeaderBlockEnd();
  void StartBody();
  void OnChunkSizeLine(const std::string& line);
  void TakeBody(std::uint64_t most);
  void OnClose();
  void Finish();
  void Fail(std::string message);
  std::size_t Buffered() const { return buffer_.size() - pos_; }
  static std::string SevenBit(std::string line);

  Step step_ = Step::kNeedBytes;
  Phase phase_ = Phase::kStatusLine;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t scanned_ = 0;          // no LF before this offset
  std::size_t last_line_bytes_ = 0;  // the last line taken, LF included
  bool closed_ = false;

  int status_ = -1;
  std::string status_line_;
  std::vector<HttpHeader> headers_;
  bool header_line_seen_ = false;
  std::size_t header_bytes_ = 0;  // this reply's and its interim replies'
  std::size_t status_line_bytes_ = 0;

  bool keep_body_ = false;
  std::string failure_;  // set once the status is known to fail
  std::uint64_t remaining_ = 0;
  std::uint64_t body_seen_ = 0;
  std::string body_;

  bool keep_open_ = false;
  std::string error_;
};

}  // namespace core
