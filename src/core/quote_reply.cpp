#include "core/quote_reply.h"

namespace core {
namespace {

constexpr char16_t kDelimiter = u'|';
constexpr char16_t kQuote = u'"';

bool IsSeparator(char16_t c) { return c >= 0x0001 && c <= 0x0020; }

char16_t MapDirectionLetter(char16_t c) {
    switch (c) {
        case u'R': return u'\u2192';
        case u'U': return u'\u2191';
        case u'D': return u'\u2193';
        default: return c;
    }
}

// Walks the mapped text one UTF-16 code unit at a time, so a combining
// mark right behind a separator or '|' opens an item of its own. None of
// the code units that steer the split can be half of a surrogate pair.
class Splitter {
public:
    explicit Splitter(std::u16string_view text) : text_(text.substr(0, text.find(u'\0'))) {}

    std::vector<std::u16string> Split() {
        std::vector<std::u16string> items;
        SkipSeparators();
        while (!AtEnd()) {
            items.push_back(Peek() == kQuote ? ReadQuoted() : ReadPlain());
            SkipSeparators();
            if (!AtEnd() && Peek() == kDelimiter) {
                // A '|' closing the text owns an empty item; one followed
                // only by separators does not.
                if (pos_ + 1 == text_.size()) items.emplace_back();
                ++pos_;
                SkipSeparators();
            }
            // Anything else here is text right behind a closing quote,
            // which opens the next item.
        }
        return items;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char16_t Peek() const { return text_[pos_]; }

    void SkipSeparators() {
        while (!AtEnd() && IsSeparator(Peek())) ++pos_;
    }

    std::u16string ReadPlain() {
        const std::size_t start = pos_;
        while (!AtEnd() && Peek() != kDelimiter && !IsSeparator(Peek())) ++pos_;
        return std::u16string(text_.substr(start, pos_ - start));
    }

    // An unclosed quote takes the rest of the text.
    std::u16string ReadQuoted() {
        std::u16string item;
        ++pos_;  // opening quote
        while (!AtEnd()) {
            const char16_t c = Peek();
            ++pos_;
            if (c != kQuote) {
                item += c;
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

std::vector<std::u16string> ParseQuoteReply(std::u16string_view reply) {
    std::u16string mapped(reply);
    for (char16_t& c : mapped) c = MapDirectionLetter(c);
    return Splitter(mapped).Split();
}

}  // namespace core
