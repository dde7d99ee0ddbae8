// What the bar's split costs on a 1 MiB reply of "|" (a million empty items): the split as the
// bar runs it, stopping once its two figures are known, and the whole split for comparison;
// also the decoding of the 1 MiB body into that text, which comes just before.
// Prints "short_ms=... full_ms=... decode_ms=..." with the median of several runs of each.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/charsets.h"
#include "core/quote_reply.h"

namespace {

constexpr std::size_t kReplyBytes = 1024 * 1024;
constexpr int kRuns = 15;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Split>
double MedianMs(Split split, std::size_t& items) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    items = split().size();
    QueryPerformanceCounter(&end);
    times.push_back(Milliseconds(start, end, frequency));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int wmain() {
  const std::string body(kReplyBytes, '|');
  const std::u16string reply = core::DecodeLatin1(body);
  std::size_t short_items = 0;
  std::size_t full_items = 0;
  std::size_t decoded = 0;
  const double short_ms = MedianMs([&] { return core::ParseQuoteReply(reply, 2); }, short_items);
  const double full_ms = MedianMs([&] { return core::ParseQuoteReply(reply); }, full_items);
  const double decode_ms = MedianMs([&] { return core::DecodeLatin1(body); }, decoded);
  std::printf("short_ms=%.4f full_ms=%.3f decode_ms=%.3f short_items=%zu full_items=%zu\n", short_ms, full_ms,
              decode_ms, short_items, full_items);
  return short_items == 2 && full_items == kReplyBytes + 1 && decoded == kReplyBytes ? 0 : 1;
}
