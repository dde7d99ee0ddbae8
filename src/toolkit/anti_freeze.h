#pragma once
// Keeps the GUI thread's windows alive while a blocking network call waits.
#include <functional>

namespace tk {

// One per application. While it exists and is Active, DoProcess called on
// the thread that created it runs the pump: by default every message
// pending for that thread is dispatched. The network client calls DoProcess
// when a wait found nothing to do, after each body block received, and
// whenever window messages are waiting.
class TIdAntiFreeze {
 public:
  TIdAntiFreeze();  // throws tk::Exception when one exists already
  ~TIdAntiFreeze();
  TIdAntiFreeze(const TIdAntiFreeze&) = delete;
  TIdAntiFreeze& operator=(const TIdAntiFreeze&) = delete;

  bool Active = true;

  // Replaces the default pump; an empty function restores it.
  void SetPump(std::function<void()> pump);

  // Pumps when an active instance exists and this is its thread.
  static void DoProcess();
  // Whether DoProcess would pump here and now.
  static bool WouldPump();

  static TIdAntiFreeze* Instance();

 private:
  std::function<void()> pump_;
  unsigned long thread_id_ = 0;
};

}  // namespace tk
