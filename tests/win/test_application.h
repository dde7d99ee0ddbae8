#pragma once
// One application object per test process, as in the program, and a bounded message pump.
#include <windows.h>

#include <chrono>
#include <functional>

#include "toolkit/application.h"

namespace testing_support {

// Dispatches messages until `done` holds or `timeout_ms` passes; returns whether it held.
inline bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// The application object made once for the whole test process.
tk::TApplication& TestApplication();

}  // namespace testing_support
