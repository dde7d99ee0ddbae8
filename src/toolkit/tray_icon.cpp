#include "toolkit/tray_icon.h"

#include <cstdint>

#include "toolkit/application.h"
#include "toolkit/popup_menu.h"

namespace tk {
namespace {

constexpr wchar_t kTrayWindowClass[] = L"TTrayIconWindow";
constexpr UINT_PTR kRetryTimer = 1;

// The shell knows the record by its full size on each platform.
static_assert(sizeof(NOTIFYICONDATAW) == (sizeof(void*) == 4 ? 956 : 976), "unexpected NOTIFYICONDATAW size");

}  // namespace

TTrayIcon::NotifyFunction TTrayIcon::NotifyCall = &::Shell_NotifyIconW;

TTrayIcon::TTrayIcon(UniqueIcon icon, const std::wstring& tip) : icon_(std::move(icon)) {
  // A top-level window, so that the shell's broadcasts and the session end reach it.
  CreateParams params;
  params.window_class.name = kTrayWindowClass;
  params.style = WS_POPUP;
  CreateBoundWindow(params);
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");

  data_.cbSize = sizeof(NOTIFYICONDATAW);
  data_.hWnd = Window();
  data_.uID = static_cast<UINT>(reinterpret_cast<uintptr_t>(Window()));
  data_.uFlags = NIF_MESSAGE | NIF_ICON | (tip.empty() ? 0 : NIF_TIP);
  data_.uCallbackMessage = kCallbackMessage;
  data_.hIcon = icon_.get();
  lstrcpynW(data_.szTip, tip.c_str(), 128);
}

TTrayIcon::~TTrayIcon() {
  Remove();
  DestroyBoundWindow();
}

void TTrayIcon::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) {
    Add();
  } else {
    Remove();
  }
}

void TTrayIcon::Add() {
  // A refused add may still have reached the shell (it gives up waiting on a busy shell, which
  // adds the icon later): then the icon is there, and taking the record again shows it.
  added_ = NotifyCall(NIM_ADD, &data_) || NotifyCall(NIM_MODIFY, &data_);
  // Tried again every second until the shell takes it; a timer that is not running is no harm
  // to kill, and setting a running one again only starts its second afresh.
  if (added_) {
    KillTimer(Window(), kRetryTimer);
  } else {
    SetTimer(Window(), kRetryTimer, kRetryMs, nullptr);
  }
}

void TTrayIcon::Remove() {
  KillTimer(Window(), kRetryTimer);
  if (added_) NotifyCall(NIM_DELETE, &data_);
  added_ = false;
}

void TTrayIcon::ShowMenu() {
  if (!PopupMenu) return;
  POINT p{0, 0};
  GetCursorPos(&p);
  SetForegroundWindow(Application->Handle());
  // Whatever waits in the queue is handled before the menu comes up.
  Application->ProcessMessages();
  PopupMenu->Popup(p.x, p.y, Window());
}

LRESULT TTrayIcon::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kCallbackMessage) {
    switch (lp) {
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        if (OnDblClick) OnDblClick(this);
        break;
      case WM_RBUTTONUP:
        ShowMenu();
        break;
      default:
        break;
    }
    return 0;
  }
  if (msg == taskbar_created_ && taskbar_created_ != 0) {
    // The shell came back: so does the icon.
    if (visible_) Add();
    return 0;
  }
  if (msg == WM_TIMER && wp == kRetryTimer) {
    if (visible_ && !added_) Add();
    return 0;
  }
  switch (msg) {
    case WM_COMMAND:
      // The menu's pick, once the menu has closed.
      if (HIWORD(wp) == 0 && PopupMenu && PopupMenu->DispatchCommand(LOWORD(wp))) return 0;
      return WindowBase::WndProc(msg, wp, lp);
    case WM_QUERYENDSESSION:
      return 1;
    case WM_ENDSESSION:
      if (wp) Remove();
      return 0;
    default:
      return WindowBase::WndProc(msg, wp, lp);
  }
}

}  // namespace tk
