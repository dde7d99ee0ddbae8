#pragma once
// Host names to IPv4 addresses on one worker thread that lives as long as the process, so the
// GUI thread can go on pumping while a resolver that never answers keeps a lookup hanging.
// One thread for every lookup of the run: under Wine each thread that ends leaves about a
// megabyte of its stack resident.
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/handles.h"

namespace tk {

struct NameLookupResult {
  bool found = false;
  int error = 0;              // what the lookup returned when nothing was found
  std::uint32_t address = 0;  // IPv4, network byte order, when found
};

// What the worker calls for each name; getaddrinfo by default.
using NameLookupFunction = NameLookupResult (*)(const std::string& host);

// Replaces the worker's lookup function (for tests); nullptr restores getaddrinfo.
void SetNameLookupFunction(NameLookupFunction lookup);

struct NameLookupJob;

// One name handed to the worker. Lookups run one at a time in the order asked; a name that is
// being looked up or waits its turn already is not asked twice: the newer asker shares the
// answer. Letting go of a lookup (destroying this) abandons it at once: one that has not
// started is skipped, and the answer of one under way is dropped when it comes. A lookup under
// way is never cut short: one that hangs holds up every later one until the resolver gives up,
// which suits a program that asks for one host only.
class PendingNameLookup {
 public:
  explicit PendingNameLookup(const std::string& host);  // throws tk::Exception if no worker can run
  ~PendingNameLookup();
  PendingNameLookup(const PendingNameLookup&) = delete;
  PendingNameLookup& operator=(const PendingNameLookup&) = delete;

  // Signalled (and left so) once the answer is in.
  HANDLE Done() const;
  // Only once Done is signalled.
  NameLookupResult Result() const;

 private:
  std::shared_ptr<NameLookupJob> job_;
};

}  // namespace tk
