// The reply reader, two ways.
//
// With bit 5 of byte 0 set, the rest of the input describes a well-formed
// reply that this target writes out itself (see WellFormed below): framed by
// a length, chunked (perhaps with chunk extensions) or read until close, after
// zero to two interim replies (100, 102 or 103), cut into random pieces, and perhaps closed early by either side. The
// reader must hand back exactly the body that was written, or fail exactly when the close left the reply unfinished.
//
// Otherwise the reader is fed arbitrary bytes in arbitrary pieces, and its
// outcome must not depend on the pieces. Input: an 11-byte head, then piece
// lengths, then quiet moments, then the bytes the connection delivers.
//   [0]    bits 0-1  what ends the stream: 0 nothing, 1 an orderly close,
//                    2 a quiet 100 ms (ProbeTimedOut when the reader asks for
//                    it), 3 a quiet then a close
//          bit 2     the connection closes early, at close_at
//          bit 3     piece lengths count in KiB
//          bit 4     grow the stream past the size limits (piece lengths then
//                    count in KiB too)
//   [1]    number of piece lengths (low 5 bits); none means one Feed per run
//   [2]    number of quiet moments (low 3 bits)
//   [3]    with bit 4: grow the stream to this many 4.5 KiB by repeating a
//          slice of it
//   [4-5]  with bit 4: length of that slice
//   [6-8]  close_at
//   [9-10] with bit 4: how many bytes of the stream follow the slice
//   then one byte per piece length (length - 1), cycled over the stream, and
//   three bytes per quiet moment (its offset in the stream). Lengths and
//   offsets count modulo the length they fall in + 1, all little-endian.
//
// Where the quiet moments and the close fall in the stream is part of what
// the connection does, and may change the outcome: a close cuts the reply,
// a quiet ends a reply that expects no body. How the bytes between those
// moments are cut into Feed calls must not. Each input is played twice, once
// with every run of bytes fed whole and once in the chosen pieces, and the
// two outcomes must agree.

#include "core/http_wire.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Reader = core::HttpReplyReader;
using Step = Reader::Step;
using namespace std::string_literals;

constexpr std::size_t kHeadBytes = 11;
// 255 units reach a little past the body limit; long streams are slow to
// play, so they go no further.
constexpr std::size_t kGrowUnit = (Reader::kMaxBody + Reader::kMaxBody / 8) / 255;

enum class Ending { kNothing, kClose, kQuiet, kQuietThenClose };

struct Event {
  enum Kind { kQuiet, kClose } kind;
  std::size_t offset;
};

struct Script {
  std::string stream;
  std::vector<Event> events;  // by offset; a quiet before a close at the same offset
  Ending ending = Ending::kNothing;
  std::vector<std::size_t> pieces;
};

struct Outcome {
  Step step;
  int status;
  std::string body;
  std::uint64_t body_seen;
  bool keep_open;
  std::string error;
  std::vector<std::pair<std::string, std::string>> headers;

  // How far past the limit a body got before the reader gave up depends on
  // the piece that crossed it, so the count is compared only short of a failure.
  bool operator==(const Outcome& o) const {
    return step == o.step && status == o.status && body == o.body &&
           (step == Step::kFailed || body_seen == o.body_seen) && keep_open == o.keep_open && error == o.error &&
           headers == o.headers;
  }
  bool operator!=(const Outcome& o) const { return !(*this == o); }
};

bool Ended(Step step) { return step == Step::kDone || step == Step::kFailed; }

Outcome OutcomeOf(const Reader& reader) {
  Outcome o{reader.CurrentStep(),
            reader.Status(),
            reader.Body(),
            reader.BodyBytesSeen(),
            reader.KeepOpen(),
            reader.Error(),
            {}};
  for (const core::HttpHeader& h : reader.Headers()) o.headers.emplace_back(h.name, h.value);
  return o;
}

std::uint32_t Little(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

bool ReadScript(const std::uint8_t* data, std::size_t size, Script& script) {
  if (size < kHeadBytes) return false;
  const std::uint8_t flags = data[0];
  const std::size_t piece_count = data[1] & 0x1F;
  const std::size_t quiet_count = data[2] & 0x07;
  const bool grow = (flags & 0x10) != 0;
  const std::size_t grow_to = grow ? data[3] * kGrowUnit : 0;
  const std::uint32_t slice_length = Little(data + 4, 2);
  const std::uint32_t close_at = Little(data + 6, 3);
  const std::uint32_t after_slice = Little(data + 9, 2);
  std::size_t at = kHeadBytes;
  if (size - at < piece_count + 3 * quiet_count) return false;

  const std::size_t piece_unit = (flags & 0x08) || grow ? 1024 : 1;
  for (std::size_t i = 0; i < piece_count; ++i) script.pieces.push_back((data[at++] + std::size_t{1}) * piece_unit);
  std::vector<std::uint32_t> quiet_at;
  for (std::size_t i = 0; i < quiet_count; ++i, at += 3) quiet_at.push_back(Little(data + at, 3));

  script.stream.assign(reinterpret_cast<const char*>(data + at), size - at);
  if (grow) {
    const std::size_t after = after_slice % (script.stream.size() + 1);
    const std::string rest = script.stream.substr(script.stream.size() - after);
    script.stream.resize(script.stream.size() - after);
    const std::size_t slice = slice_length % (script.stream.size() + 1);
    if (slice > 0 && script.stream.size() + rest.size() < grow_to) {
      const std::string repeated = script.stream.substr(script.stream.size() - slice);
      script.stream.reserve(grow_to + slice);
      while (script.stream.size() + rest.size() < grow_to) script.stream += repeated;
    }
    script.stream += rest;
  }

  const std::size_t end = script.stream.size() + 1;
  for (std::uint32_t q : quiet_at) script.events.push_back({Event::kQuiet, q % end});
  if (flags & 0x04) script.events.push_back({Event::kClose, close_at % end});
  std::stable_sort(script.events.begin(), script.events.end(), [](const Event& a, const Event& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.kind < b.kind;
  });
  script.ending = static_cast<Ending>(flags & 0x03);
  return true;
}

// Plays a script into one reader and checks what must hold after every call.
class Player {
 public:
  explicit Player(const std::vector<std::size_t>& pieces) : pieces_(pieces) {}

  Outcome Play(const Script& script) {
    std::size_t pos = 0;
    for (const Event& event : script.events) {
      FeedRange(script.stream, pos, event.offset);
      pos = event.offset;
      if (event.kind == Event::kQuiet) {
        Quiet();
      } else {
        Close();
      }
    }
    FeedRange(script.stream, pos, script.stream.size());
    if (script.ending == Ending::kQuiet || script.ending == Ending::kQuietThenClose) Quiet();
    if (script.ending == Ending::kClose || script.ending == Ending::kQuietThenClose) Close();

    CheckHeaders();
    const Outcome outcome = OutcomeOf(reader_);
    if (ended_) {
      // Bytes, a close or a quiet after the end change nothing.
      Check(reader_.Feed("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"));
      Check(reader_.FeedClose());
      Check(reader_.ProbeTimedOut());
    }
    return outcome;
  }

 private:
  void FeedRange(const std::string& stream, std::size_t from, std::size_t to) {
    const std::string_view bytes(stream);
    while (from < to) {
      std::size_t n = to - from;
      if (!pieces_.empty()) n = std::min(n, pieces_[next_piece_++ % pieces_.size()]);
      Check(reader_.Feed(bytes.substr(from, n)));
      from += n;
    }
  }

  // 100 ms without bytes: the caller times the probe out only when asked.
  void Quiet() {
    if (reader_.CurrentStep() != Step::kNeedProbe) return;
    Check(reader_.ProbeTimedOut());
    FUZZ_CHECK(Ended(reader_.CurrentStep()));
  }

  void Close() {
    Check(reader_.FeedClose());
    FUZZ_CHECK(Ended(reader_.CurrentStep()));
  }

  // Header lines are split at LF and read as 7-bit ASCII; values come trimmed.
  void CheckHeaders() const {
    for (const core::HttpHeader& h : reader_.Headers()) {
      for (const std::string* text : {&h.name, &h.value}) {
        for (char c : *text) FUZZ_CHECK(c != '\n' && static_cast<unsigned char>(c) <= 0x7F);
      }
      if (!h.value.empty()) {
        FUZZ_CHECK(h.value.front() != ' ' && h.value.front() != '\t');
        FUZZ_CHECK(h.value.back() != ' ' && h.value.back() != '\t');
      }
    }
  }

  void Check(Step returned) {
    FUZZ_CHECK(returned == reader_.CurrentStep());
    FUZZ_CHECK(reader_.Body().size() <= Reader::kMaxBody);
    FUZZ_CHECK(reader_.Body().size() <= reader_.BodyBytesSeen());
    // Bytes seen only add up, and a kept body only grows until a failure drops it.
    FUZZ_CHECK(reader_.BodyBytesSeen() >= seen_before_);
    FUZZ_CHECK(reader_.CurrentStep() == Step::kFailed || reader_.Body().size() >= body_before_);
    seen_before_ = reader_.BodyBytesSeen();
    body_before_ = reader_.Body().size();
    switch (reader_.CurrentStep()) {
      case Step::kDone:
        FUZZ_CHECK(reader_.Error().empty());
        // Every status outside 2xx ends as a failure.
        FUZZ_CHECK(reader_.Status() >= 200 && reader_.Status() < 300);
        break;
      case Step::kFailed:
        FUZZ_CHECK(!reader_.Error().empty());
        FUZZ_CHECK(reader_.Body().empty());
        break;
      case Step::kNeedBytes:
      case Step::kNeedProbe:
        FUZZ_CHECK(reader_.Error().empty());
        FUZZ_CHECK(!reader_.KeepOpen());
        break;
    }
    if (ended_) {
      const Outcome now = OutcomeOf(reader_);
      FUZZ_CHECK(now == at_end_ && now.body_seen == at_end_.body_seen);
    } else if (Ended(reader_.CurrentStep())) {
      ended_ = true;
      at_end_ = OutcomeOf(reader_);
    }
  }

  const std::vector<std::size_t>& pieces_;
  std::size_t next_piece_ = 0;
  std::uint64_t seen_before_ = 0;
  std::size_t body_before_ = 0;
  Reader reader_;
  bool ended_ = false;
  Outcome at_end_{};
};

// ---------------------------------------------------------------------------
// Well-formed replies, written out from the input's choices

// Draws choices from the input; past its end every choice is 0.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : (Byte() | std::size_t{Byte()} << 8) % n; }
  bool Flip() { return (Byte() & 1) != 0; }
  std::size_t Left() const { return size_ - at_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

enum class Framing { kLength, kChunked, kUntilClose };
enum class Cut { kNone, kByServer, kFromThisSide };

std::string Hex(std::size_t n, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[n % 16]);
    n /= 16;
  } while (n > 0);
  return text;
}

// Header lines that change nothing about the framing or the outcome.
std::string HarmlessHeaders(Choices& in, const std::string& eol) {
  static const char* const kLines[] = {
      "Server: fuzz",
      "Content-Type: text/plain; charset=utf-8",
      "X-Empty:",
      "Cache-Control: no-cache",
      "Set-Cookie: a=b; path=/",
      "Content-Encoding: identity",
  };
  std::string lines;
  for (std::size_t n = in.Below(4); n > 0; --n) lines += std::string(kLines[in.Below(6)]) + eol;
  return lines;
}

// Writes a reply from the input's choices, feeds it in random pieces and
// checks the exact outcome.
void WellFormed(const std::uint8_t* data, std::size_t size) {
  Choices in(data, size);
  const std::string eol = in.Flip() ? "\n" : "\r\n";
  const Framing framing = static_cast<Framing>(in.Below(3));
  const bool close_asked = in.Flip();
  static const int kStatuses[] = {200, 200, 201, 203, 206};
  const int status = kStatuses[in.Below(5)];

  static const char* const kInterim[] = {"100 Continue", "102 Processing", "103 Early Hints"};
  std::string stream;
  for (std::size_t n = in.Below(3); n > 0; --n) {
    const std::size_t interim = in.Below(3);
    stream += "HTTP/1.1 "s + kInterim[interim] + eol + HarmlessHeaders(in, eol);
    if (interim == 2) stream += "Link: </quote.css>; rel=preload; as=style" + eol;
    stream += eol;
  }
  stream += "HTTP/1.1 " + std::to_string(status) + " Fine" + eol + HarmlessHeaders(in, eol);
  if (close_asked) stream += "Connection: close" + eol;

  std::string body;
  for (std::size_t n = in.Below(in.Left() + 1); n > 0; --n) body += static_cast<char>(in.Byte());
  // A body bigger than the input by repeating it, now and then.
  if (!body.empty() && in.Below(8) == 0) {
    const std::size_t times = 1 + in.Below(2000);
    const std::string once = body;
    for (std::size_t i = 1; i < times && body.size() + once.size() <= Reader::kMaxBody; ++i) body += once;
  }

  std::string encoded;  // the body as it goes on the wire
  switch (framing) {
    case Framing::kLength:
      stream += "Content-Length: " + std::to_string(body.size()) + eol;
      encoded = body;
      break;
    case Framing::kChunked: {
      stream += "Transfer-Encoding: chunked" + eol;
      for (std::size_t at = 0; at < body.size();) {
        const std::size_t n = std::min(body.size() - at, 1 + in.Below(body.size() > 4096 ? 65536 : 64));
        static const char* const kExtensions[] = {"", ";ext=1", " ;ext=1", ";a=\"b c\";d", "\t; e"};
        encoded += Hex(n, in.Flip()) + kExtensions[in.Below(5)] + eol + body.substr(at, n) + eol;
        at += n;
      }
      encoded += "0"s + (in.Flip() ? ";last" : "") + eol + eol;
      break;
    }
    case Framing::kUntilClose:
      encoded = body;
      break;
  }
  stream += eol;
  const std::size_t body_starts = stream.size();
  stream += encoded;
  if (framing != Framing::kUntilClose && in.Flip()) stream += "HTTP/1.1 200 OK" + eol;  // what follows is ignored

  // Where the connection closes, if it does before the end: somewhere in
  // the body, by the server or from this side.
  const Cut cut = static_cast<Cut>(in.Below(3));
  std::size_t cut_at = stream.size();
  if (cut != Cut::kNone) cut_at = body_starts + in.Below(stream.size() - body_starts + 1);

  std::vector<std::size_t> pieces;
  for (std::size_t n = 1 + in.Below(8); n > 0; --n) pieces.push_back(1 + in.Below(body.size() > 4096 ? 70000 : 40));

  Reader reader;
  std::size_t piece = 0;
  for (std::size_t at = 0; at < cut_at;) {
    const std::size_t n = std::min(cut_at - at, pieces[piece++ % pieces.size()]);
    reader.Feed(std::string_view(stream).substr(at, n));
    at += n;
  }
  const bool whole_before_close = reader.CurrentStep() == Step::kDone;
  // A reply with a length or chunks is whole once its last byte is in.
  const bool complete = framing != Framing::kUntilClose && cut_at >= body_starts + encoded.size();
  FUZZ_CHECK(whole_before_close == complete);
  if (cut == Cut::kFromThisSide || (cut == Cut::kNone && framing != Framing::kUntilClose && in.Flip())) {
    reader.FeedLocalClose();
  } else if (cut == Cut::kByServer || framing == Framing::kUntilClose) {
    reader.FeedClose();
  }

  if (complete) {
    FUZZ_CHECK(reader.CurrentStep() == Step::kDone);
    FUZZ_CHECK(reader.Body() == body);
    FUZZ_CHECK(reader.KeepOpen() == !close_asked);
  } else if (framing == Framing::kUntilClose && cut != Cut::kFromThisSide) {
    // The server's close is how this body ends; a cut is then simply its end.
    FUZZ_CHECK(reader.CurrentStep() == Step::kDone);
    FUZZ_CHECK(reader.Body() == body.substr(0, cut_at - body_starts));
    FUZZ_CHECK(!reader.KeepOpen());
  } else {
    FUZZ_CHECK(reader.CurrentStep() == Step::kFailed);
    FUZZ_CHECK(reader.Body().empty());
  }
  if (reader.CurrentStep() == Step::kDone) FUZZ_CHECK(reader.Status() == status);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0 && (data[0] & 0x20)) {
    WellFormed(data + 1, size - 1);
    return 0;
  }
  Script script;
  if (!ReadScript(data, size, script)) return -1;  // not a script; keep it out of the corpus

  const std::vector<std::size_t> whole;
  const Outcome expected = Player(whole).Play(script);
  const Outcome split = Player(script.pieces).Play(script);
  FUZZ_CHECK(split == expected);
  return 0;
}
