#pragma once
// The notification-area icon. Its record is filled once, when the icon is made, and passed in
// every later call; a hidden window of its own takes the shell's callbacks and owns the menu.
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
  // Making it visible adds the icon to the notification area (the result is not looked at).
  void SetVisible(bool visible);

  TPopupMenu* PopupMenu = nullptr;
  TNotifyEvent OnDblClick;

  using WindowBase::Window;

 private:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void ShowMenu();

  UniqueIcon icon_;
  NOTIFYICONDATAW data_{};
  bool visible_ = false;
  UINT taskbar_created_ = 0;
};

}  // namespace tk
