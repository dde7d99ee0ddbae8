#pragma once
// A message timer whose events run on the GUI thread. It is a timer of the thread, with no
// window: it can count before its form's window exists, and making one costs no window. The
// system keeps at most one WM_TIMER waiting, so missed events are not made up.
#include <windows.h>

#include "toolkit/classes.h"
#include "toolkit/handles.h"

namespace tk {

class TTimer : public TComponent {
 public:
  TTimer(UINT interval_ms, bool enabled, TNotifyEvent on_timer);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  // Switching on starts a fresh count; switching to the state it has changes nothing.
  // Throws "Not enough timers available" when the system refuses; the timer then counts as on.
  void SetEnabled(bool enabled);

  TNotifyEvent OnTimer;

  // Whether the system timer really runs (false after a refused SetTimer).
  bool Running() const { return id_ != 0; }

  // The call that asks the system for a timer; tests put one in that refuses.
  using SetTimerFunction = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
  static SetTimerFunction SetTimerCall;

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Update();
  void Stop();

  UINT interval_;
  bool enabled_ = false;
  UINT_PTR id_ = 0;  // the system's id while running
};

}  // namespace tk
