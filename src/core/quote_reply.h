#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Turns a quote reply into its items: the direction letters R, U and D
// become the arrows U+2192, U+2191 and U+2193, then the text is split at
// '|' and at every code unit from U+0001 to U+0020, with '"' quoting.
// Reading stops at the first U+0000. Never fails; item 0 is the gold
// figure and item 1 the silver one, and the caller decides what a reply
// with fewer items means.
//
// Items only ever come in order, so stopping after `most_items` of them
// gives exactly the first ones of the whole list; the rest of the text is
// then not even looked at, which keeps a huge reply cheap for a caller that
// shows two figures.
std::vector<std::u16string> ParseQuoteReply(std::u16string_view reply,
                                            std::size_t most_items = static_cast<std::size_t>(-1));

}  // namespace core
