#include "core/quote_reply.h"

namespace core {
namespace {

constexpr char16_t kDelimiter = u'|';
constexpr char16_t kQuote = u'"';

bool IsSeparator(char16_t c) { return c >= 0x0001 && c <= 0x0020; }

char16_t MapDirectionLetter(char16_t c) {
  switch (c) {
    case u'R':
      return u'\u2192';
    case u'U':
      return u'\u2191';
    case u'D':
      return u'\u2193';
    default:
      return c;
  }
}

// Walks the text one UTF-16 code unit at a time, so a combining mark right
// behind a separator or '|' opens an item of its own. None of the code units
// that steer the split can be half of a surrogate pair, and no arrow is one
// of them, so the direction letters are mapped item by item as they are
// taken rather than over the whole text first.
class Splitter {
 public:
  explicit Splitter(std::u16string_view text) : text_(text) {}

  std::vector<std::u16string> Split(std::size_t most_items) {
    std::vector<std::u16string> items;
    if (most_items == 0) return items;
    SkipSeparators();
    while (!AtEnd()) {
      items.push_back(Peek() == kQuote ? ReadQuoted() : ReadPlain());
      if (items.size() >= most_items) break;
      SkipSeparators();
      if (!AtEnd() && Peek() == kDelimiter) {
        // A '|' closing the text owns an empty item; one followed
        // only by separators does not.
        if (EndsAt(pos_ + 1)) items.emplace_back();
        ++pos_;
        SkipSeparators();
      }
      // Anything else here is text right behind a closing quote,
      // which opens the next item.
    }
    return items;
  }

 private:
  // The text ends at its end or at its first U+0000.
  bool EndsAt(std::size_t pos) const { return pos >= text_.size() || text_[pos] == u'\0'; }
  bool AtEnd() const { return EndsAt(pos_); }
  char16_t Peek() const { return text_[pos_]; }

  void SkipSeparators() {
    while (!AtEnd() && IsSeparator(Peek())) ++pos_;
  }

  std::u16string ReadPlain() {
    const std::size_t start = pos_;
    while (!AtEnd() && Peek() != kDelimiter && !IsSeparator(Peek())) ++pos_;
    std::u16string item(text_.substr(start, pos_ - start));
    for (char16_t& c : item) c = MapDirectionLetter(c);
    return item;
  }

  // An unclosed quote takes the rest of the text.
  std::u16string ReadQuoted() {
    std::u16string item;
    ++pos_;  // opening quote
    while (!AtEnd()) {
      const char16_t c = Peek();
      ++pos_;
      if (c != kQuote) {
        item += MapDirectionLetter(c);
      } else if (!AtEnd() && Peek() == kQuote) {
        item += kQuote;  // a doubled quote stands for one
        ++pos_;
      } else {
        break;  // closing quote
      }
    }
    return item;
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::u16string> ParseQuoteReply(std::u16string_view reply, std::size_t most_items) {
  return Splitter(reply).Split(most_items);
}

}  // namespace core
