#include "toolkit/anti_freeze.h"

#include <windows.h>

#include "toolkit/exception.h"

namespace tk {
namespace {

TIdAntiFreeze* g_instance = nullptr;

// Dispatches what is pending and returns; a quit request is put back for
// the outermost message loop to see.
void DispatchPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

TIdAntiFreeze::TIdAntiFreeze() : thread_id_(GetCurrentThreadId()) {
  if (g_instance) throw Exception(L"Only one TIdAntiFreeze can exist per application.");
  g_instance = this;
}

TIdAntiFreeze::~TIdAntiFreeze() {
  if (g_instance == this) g_instance = nullptr;
}

void TIdAntiFreeze::SetPump(std::function<void()> pump) { pump_ = std::move(pump); }

TIdAntiFreeze* TIdAntiFreeze::Instance() { return g_instance; }

bool TIdAntiFreeze::WouldPump() {
  const TIdAntiFreeze* self = g_instance;
  return self && self->Active && GetCurrentThreadId() == self->thread_id_;
}

void TIdAntiFreeze::DoProcess() {
  TIdAntiFreeze* self = g_instance;
  if (!WouldPump()) return;
  // A copy, so a pump that replaces itself still finishes this run.
  const std::function<void()> pump = self->pump_;
  if (pump) {
    pump();
  } else {
    DispatchPendingMessages();
  }
}

}  // namespace tk
