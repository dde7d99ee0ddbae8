#include "core/http_wire.h"
#include "core/ascii.h"

#include <algorithm>
#include <climits>

namespace core {
namespace {

using ascii::EqualsNoCase;
using ascii::IsBlank;
using ascii::Trim;

bool ContainsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The second word of the status line as a decimal number; -1 when there is
// no such word or it is not a number that fits.
int ParseStatusCode(std::string_view line) {
  std::string_view words = Trim(line);
  const auto blank = std::find_if(words.begin(), words.end(), IsBlank);
  if (blank == words.end()) return -1;
  words.remove_prefix(static_cast<std::size_t>(blank - words.begin()));
  words = Trim(words);
  const auto end = std::find_if(words.begin(), words.end(), IsBlank);
  const std::string_view word = words.substr(0, static_cast<std::size_t>(end - words.begin()));
  if (word.empty()) return -1;
  long long code = 0;
  for (char c : word) {
    if (!IsDigit(c)) return -1;
    code = code * 10 + (c - '0');
    if (code > INT_MAX) return -1;
  }
  return static_cast<int>(code);
}

// A Content-Length value: a decimal number with an optional sign. Nothing
// when it is not one or does not fit, which reads like no length at all.
std::optional<long long> ParseLength(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    if (value > (LLONG_MAX - (c - '0')) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

constexpr std::uint64_t kLargestChunk = static_cast<std::uint64_t>(LLONG_MAX);

}  // namespace

std::string BuildGetRequest(std::string_view host_header, std::string_view path) {
  std::string request;
  request.append("GET ").append(path).append(" HTTP/1.1\r\n");
  request.append("Host: ").append(host_header).append("\r\n");
  request.append("Accept: text/html, */*\r\n");
  request.append("Accept-Encoding: identity\r\n");
  request.append("User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n");
  request.append("\r\n");
  return request;
}

std::optional<HttpUrl> SplitHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() || !EqualsNoCase(url.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  url.remove_prefix(kScheme.size());
  url = url.substr(0, url.find('#'));

  const std::size_t authority_end = std::min(url.find('/'), url.find('?'));
  const std::string_view authority = url.substr(0, authority_end);
  std::string_view rest = authority_end == std::string_view::npos ? std::string_view() : url.substr(authority_end);
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;

  HttpUrl result;
  const std::size_t colon = authority.find(':');
  result.host = std::string(authority.substr(0, colon));
  if (result.host.empty()) return std::nullopt;
  if (colon != std::string_view::npos) {
    const std::string_view digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    unsigned port = 0;
    for (char c : digits) {
      if (!IsDigit(c)) return std::nullopt;
      port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    result.port = static_cast<std::uint16_t>(port);
  }
  result.host_header = result.host;
  if (result.port != 80) result.host_header += ":" + std::to_string(result.port);

  if (rest.empty()) {
    result.path = "/";
  } else if (rest.front() == '?') {
    result.path = "/" + std::string(rest);
  } else {
    result.path = std::string(rest);
  }
  return result;
}

std::optional<std::string> HttpReplyReader::Header(std::string_view name) const {
  for (const HttpHeader& header : headers_) {
    if (EqualsNoCase(header.name, name)) return header.value;
  }
  return std::nullopt;
}

HttpReplyReader::Step HttpReplyReader::Feed(std::string_view bytes) {
  if (phase_ == Phase::kEnded || closed_) return step_;
  // Drop what has been consumed before the buffer grows again.
  if (pos_ == buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
    scanned_ = 0;
  } else if (pos_ > 4096 && pos_ > buffer_.size() / 2) {
    buffer_.erase(0, pos_);
    scanned_ -= std::min(scanned_, pos_);
    pos_ = 0;
  }
  buffer_.append(bytes);
  Run();
  return step_;
}

HttpReplyReader::Step HttpReplyReader::FeedClose() {
  if (phase_ == Phase::kEnded) return step_;
  closed_ = true;
  Run();
  return step_;
}

HttpReplyReader::Step HttpReplyReader::FeedLocalClose() {
  if (phase_ == Phase::kEnded) return step_;
  // Whatever is buffered may still complete the reply.
  Run();
  if (phase_ == Phase::kEnded) return step_;
  closed_ = true;
  if (phase_ == Phase::kProbe && Buffered() == 0) {
    Finish();  // no body was expected
  } else {
    Fail("Connection closed from this side before the reply was whole.");
  }
  return step_;
}

HttpReplyReader::Step HttpReplyReader::ProbeTimedOut() {
  if (phase_ == Phase::kProbe && Buffered() == 0) Finish();
  return step_;
}

void HttpReplyReader::Run() {
  for (;;) {
    while (phase_ != Phase::kEnded && RunOnce()) {
    }
    if (phase_ == Phase::kEnded) return;
    if (!closed_) {
      step_ = phase_ == Phase::kProbe ? Step::kNeedProbe : Step::kNeedBytes;
      return;
    }
    OnClose();
  }
}

// One step of progress on what is buffered; false when it needs more.
bool HttpReplyReader::RunOnce() {
  std::string line;
  switch (phase_) {
    case Phase::kStatusLine:
      if (!TakeLine(line)) return false;
      status_line_bytes_ = last_line_bytes_;
      OnStatusLine(line);
      return true;
    case Phase::kHeaderLines:
      if (!TakeLine(line)) return false;
      header_bytes_ += last_line_bytes_;
      if (header_bytes_ > kMaxHeaderBlock) {
        Fail("Reply header block too large.");
        return false;
      }
      if (line.empty()) {
        OnHeaderBlockEnd();
      } else {
        OnHeaderLine(line);
      }
      return true;
    case Phase::kProbe:
      if (Buffered() == 0) return false;
      StartBody();
      return true;
    case Phase::kLengthBody:
      if (Buffered() == 0) return false;
      TakeBody(remaining_);
      if (phase_ != Phase::kEnded && remaining_ == 0) Finish();
      return true;
    case Phase::kBodyUntilClose:
      if (Buffered() == 0) return false;
      TakeBody(Buffered());
      return true;
    case Phase::kChunkSize:
      if (!TakeLine(line)) return false;
      OnChunkSizeLine(line);
      return true;
    case Phase::kChunkData:
      if (Buffered() == 0) return false;
      TakeBody(remaining_);
      if (phase_ != Phase::kEnded && remaining_ == 0) phase_ = Phase::kChunkDataEnd;
      return true;
    case Phase::kChunkDataEnd:
      if (!TakeLine(line)) return false;
      if (!line.empty()) {
        // The data ran past its size: the framing is lost.
        Fail("Chunk data not followed by a line end.");
        return false;
      }
      phase_ = Phase::kChunkSize;
      return true;
    case Phase::kChunkTrailer:
      if (!TakeLine(line)) return false;
      Finish();
      return true;
    case Phase::kEnded:
      return false;
  }
  return false;
}

// Takes one line without its LF and the CR before it. Remembers where the
// search for LF stopped, so a long line arriving byte by byte is scanned once.
bool HttpReplyReader::TakeLine(std::string& line) {
  const std::size_t from = std::max(pos_, scanned_);
  const std::size_t lf = buffer_.find('\n', from);
  if (lf == std::string::npos) {
    scanned_ = buffer_.size();
    if (Buffered() > kMaxLine) Fail("Reply line too long.");
    return false;
  }
  if (lf - pos_ > kMaxLine) {
    Fail("Reply line too long.");
    return false;
  }
  line.assign(buffer_, pos_, lf - pos_);
  last_line_bytes_ = lf + 1 - pos_;
  pos_ = lf + 1;
  scanned_ = pos_;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void HttpReplyReader::OnStatusLine(const std::string& line) {
  status_line_ = SevenBit(line);
  status_ = ParseStatusCode(status_line_);
  headers_.clear();
  header_line_seen_ = false;
  phase_ = Phase::kHeaderLines;
}

void HttpReplyReader::OnHeaderLine(const std::string& raw) {
  header_line_seen_ = true;
  const std::string line = SevenBit(raw);
  if (IsBlank(line.front())) {
    // A folded line continues the header before it.
    const std::string_view more = Trim(line);
    if (!headers_.empty() && !more.empty()) {
      std::string& value = headers_.back().value;
      if (!value.empty()) value += ' ';
      value += more;
    }
    return;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return;  // not a header; nothing to keep
  const std::string_view view(line);
  headers_.push_back({std::string(Trim(view.substr(0, colon))), std::string(Trim(view.substr(colon + 1)))});
}

void HttpReplyReader::OnHeaderBlockEnd() {
  if (status_ == 101) {
    // What follows is another protocol, not a reply this reader could end.
    Fail(status_line_);
    return;
  }
  if (status_ >= 100 && status_ < 200) {
    // An interim reply (100 Continue, 102 Processing, 103 Early Hints...):
    // the real one follows. Its bytes stay counted, so a server cannot keep
    // the request going with interim replies alone.
    header_bytes_ += status_line_bytes_;
    if (header_bytes_ > kMaxHeaderBlock) {
      Fail("Reply header block too large.");
      return;
    }
    phase_ = Phase::kStatusLine;
    return;
  }
  const bool has_location = Header("Location").has_value();
  const bool success = status_ >= 200 && status_ < 300 && (!has_location || status_ == 201);
  const bool expects_body = status_ != 204 && status_ != 304;
  keep_body_ = success && status_ != 204;
  if (!success) failure_ = status_line_.empty() ? std::string("Reply without a status line.") : status_line_;
  if (expects_body) {
    StartBody();
  } else {
    phase_ = Phase::kProbe;
  }
}

void HttpReplyReader::StartBody() {
  const std::optional<std::string> transfer_encoding = Header("Transfer-Encoding");
  if (transfer_encoding && ContainsNoCase(*transfer_encoding, "chunked")) {
    phase_ = Phase::kChunkSize;
    return;
  }
  const std::optional<std::string> length_text = Header("Content-Length");
  const std::optional<long long> length = length_text ? ParseLength(*length_text) : std::nullopt;
  if (length && *length > 0) {
    remaining_ = static_cast<std::uint64_t>(*length);
    phase_ = Phase::kLengthBody;
  } else if (length && *length == 0) {
    Finish();
  } else {
    phase_ = Phase::kBodyUntilClose;
  }
}

// The size is the hexadecimal number before the first ";" (a chunk
// extension, ignored) or blank. A line without one breaks the framing.
void HttpReplyReader::OnChunkSizeLine(const std::string& line) {
  const std::string_view text = Trim(line);
  const auto ends_size = [](char c) { return c == ';' || IsBlank(c); };
  const std::string_view digits =
      text.substr(0, static_cast<std::size_t>(std::find_if(text.begin(), text.end(), ends_size) - text.begin()));
  if (digits.empty()) {
    Fail("Chunk size line without a size.");
    return;
  }
  std::uint64_t size = 0;
  for (char c : digits) {
    const int digit = ascii::HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) {
      Fail("Chunk size is not a hexadecimal number.");
      return;
    }
    if (size > (kLargestChunk - static_cast<std::uint64_t>(digit)) / 16) {
      Fail("Chunk size out of range.");
      return;
    }
    size = size * 16 + static_cast<std::uint64_t>(digit);
  }
  if (size == 0) {
    phase_ = Phase::kChunkTrailer;
  } else {
    remaining_ = size;
    phase_ = Phase::kChunkData;
  }
}

void HttpReplyReader::TakeBody(std::uint64_t most) {
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(most, Buffered()));
  body_seen_ += n;
  if (body_seen_ > kMaxBody) {
    Fail("Reply body too large.");
    return;
  }
  if (keep_body_) body_.append(buffer_, pos_, n);
  pos_ += n;
  if (phase_ == Phase::kLengthBody || phase_ == Phase::kChunkData) remaining_ -= n;
}

// The connection closed in an orderly way and nothing buffered takes the
// reply further.
void HttpReplyReader::OnClose() {
  switch (phase_) {
    case Phase::kStatusLine:
      Fail("Connection closed before the reply's status line.");
      return;
    case Phase::kHeaderLines:
      if (!header_line_seen_) {
        Fail("Connection closed before the reply's headers.");
        return;
      }
      // The lines so far are the header block; an unfinished line is not one.
      pos_ = buffer_.size();
      OnHeaderBlockEnd();
      return;
    case Phase::kProbe:
    case Phase::kBodyUntilClose:
      Finish();
      return;
    case Phase::kLengthBody:
      Fail("Connection closed before the whole body arrived.");
      return;
    case Phase::kChunkSize:
    case Phase::kChunkData:
    case Phase::kChunkDataEnd:
    case Phase::kChunkTrailer:
      Fail("Connection closed inside a chunked body.");
      return;
    case Phase::kEnded:
      return;
  }
}

void HttpReplyReader::Finish() {
  phase_ = Phase::kEnded;
  if (!failure_.empty()) {
    step_ = Step::kFailed;
    error_ = failure_;
    return;
  }
  step_ = Step::kDone;
  bool close_asked = false;
  for (const char* name : {"Connection", "Proxy-Connection"}) {
    const std::optional<std::string> value = Header(name);
    if (value && EqualsNoCase(Trim(*value), "close")) close_asked = true;
  }
  keep_open_ = !closed_ && !close_asked;
}

void HttpReplyReader::Fail(std::string message) {
  phase_ = Phase::kEnded;
  step_ = Step::kFailed;
  error_ = std::move(message);
  body_.clear();
}

// Status and header lines are read as 7-bit ASCII.
std::string HttpReplyReader::SevenBit(std::string line) {
  for (char& c : line) {
    if (static_cast<unsigned char>(c) > 0x7F) c = '?';
  }
  return line;
}

}  // namespace core
