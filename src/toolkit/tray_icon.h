#pragma once
// The notification-area icon. Its record is filled once, when the icon is made, and passed in
// every later call; a hidden window of its own takes the shell's callbacks and owns the menu.
// An add that the shell refuses (busy at log-on, and no "TaskbarCreated" follows) is tried
// again every second on that window's timer until it takes; no timer runs once it has.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "toolkit/classes.h"
#include "toolkit/handles.h"
#include "toolkit/window_base.h"

namespace tk {

class TPopupMenu;

class TTrayIcon : public TComponent, private WindowBase {
 public:
  static constexpr UINT kCallbackMessage = WM_USER + 1;

  // `tip` is cut to 127 characters; an empty one sets no tooltip.
  TTrayIcon(UniqueIcon icon, const std::wstring& tip);
  ~TTrayIcon() override;

  bool Visible() const { return visible_; }
  // Making it visible adds the icon to the notification area, now or at a later try.
  void SetVisible(bool visible);
  // Whether the shell has taken the icon.
  bool Added() const { return added_; }

  TPopupMenu* PopupMenu = nullptr;
  TNotifyEvent OnDblClick;

  using WindowBase::Window;

  // The call that talks to the shell; tests put one in that refuses.
  using NotifyFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
  static NotifyFunction NotifyCall;
  static constexpr UINT kRetryMs = 1000;

 private:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void ShowMenu();
  void Add();
  void Remove();

  UniqueIcon icon_;
  NOTIFYICONDATAW data_{};
  bool visible_ = false;
  bool added_ = false;
  UINT taskbar_created_ = 0;
};

}  // namespace tk
