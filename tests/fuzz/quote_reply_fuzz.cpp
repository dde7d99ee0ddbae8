// ParseQuoteReply over arbitrary UTF-16 text, whole and stopped early.
//
// Input: byte 0 picks how the rest becomes text. Even: little-endian code
// units, a last odd byte dropped. Odd: each byte picks one of sixteen code
// units that steer the split (quotes, '|', separators at both ends of their
// range, direction letters, NUL, surrogates), so short inputs reach the
// interesting shapes quickly.

#include "core/quote_reply.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Items = std::vector<std::u16string>;

constexpr char16_t kAlphabet[16] = {
    u'a', u'R', u'U', u'D', u'"', u'|', u' ', u'\r', u'\n', 0x0001, 0x001F, u'!', 0x0000, 0x2192, 0xD83D, 0xDE00,
};

bool IsSeparator(char16_t c) { return c >= 0x0001 && c <= 0x0020; }

std::u16string TextOf(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  if (size == 0) return text;
  if (data[0] & 1) {
    for (std::size_t i = 1; i < size; ++i) text += kAlphabet[data[i] % 16];
  } else {
    for (std::size_t i = 1; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  return text;
}

char16_t Arrow(char16_t c) {
  if (c == u'R') return 0x2192;
  if (c == u'U') return 0x2191;
  if (c == u'D') return 0x2193;
  return c;
}

// What a reply without any '"' splits into, read off its words and bars: each
// word is an item; a bar with no word since the start or since the bar before
// it stands for an empty item; a bar that is the very last code unit owns one
// more empty item.
Items SplitWithoutQuotes(std::u16string_view text) {
  Items items;
  bool word_since_bar = false;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsSeparator(text[i])) {
      ++i;
    } else if (text[i] == u'|') {
      if (!word_since_bar) items.emplace_back();
      if (i + 1 == text.size()) items.emplace_back();
      word_since_bar = false;
      ++i;
    } else {
      std::u16string word;
      for (; i < text.size() && !IsSeparator(text[i]) && text[i] != u'|'; ++i) word += Arrow(text[i]);
      items.push_back(word);
      word_since_bar = true;
    }
  }
  return items;
}

// Items written back as a reply: each quoted, quotes inside doubled, joined by '|'.
std::u16string Requote(const Items& items) {
  std::u16string reply;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) reply += u'|';
    reply += u'"';
    for (char16_t c : items[i]) {
      if (c == u'"') reply += u'"';
      reply += c;
    }
    reply += u'"';
  }
  return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string reply = TextOf(data, size);
  const Items items = core::ParseQuoteReply(reply);

  const std::u16string_view read = std::u16string_view(reply).substr(0, reply.find(u'\0'));
  if (read.size() < reply.size()) {
    // Nothing past the first NUL is read.
    FUZZ_CHECK(core::ParseQuoteReply(read) == items);
  }

  // Every item takes at least one code unit of the text, but for an empty
  // last item owned by a closing '|'; and no code unit lands in two items.
  FUZZ_CHECK(items.size() <= read.size() + 1);
  std::size_t total = 0;
  for (const std::u16string& item : items) {
    total += item.size();
    for (char16_t c : item) {
      FUZZ_CHECK(c != 0x0000);
      FUZZ_CHECK(c != u'R' && c != u'U' && c != u'D');
    }
  }
  FUZZ_CHECK(total <= read.size());

  if (read.find(u'"') == std::u16string_view::npos) {
    FUZZ_CHECK(items == SplitWithoutQuotes(read));
  }

  // Quoting the items and joining them with '|' reads back as the same items.
  FUZZ_CHECK(core::ParseQuoteReply(Requote(items)) == items);

  // A split that stops early gives the first items of the whole one, no
  // more and no others: the bar asks for two.
  for (std::size_t most = 0; most <= 3; ++most) {
    const Items first(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(std::min(most, items.size())));
    FUZZ_CHECK(core::ParseQuoteReply(reply, most) == first);
  }
  return 0;
}
