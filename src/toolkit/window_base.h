#pragma once
// What every window of the toolkit shares: its class is registered once, the object is bound
// to its window from WM_NCCREATE (through lpCreateParams) to WM_NCDESTROY, and every message
// in between reaches the object's WndProc inside one exception boundary.
#include <windows.h>

#include "toolkit/handles.h"

namespace tk {

// How a window class looks; the procedure is always the base's own.
struct WindowClass {
  const wchar_t* name = nullptr;
  UINT style = 0;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HICON small_icon = nullptr;  // made from `icon` by the system when null
};

// Everything a bound window is made with.
struct CreateParams {
  WindowClass window_class;
  const wchar_t* caption = L"";
  DWORD style = 0;
  DWORD ex_style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
};

class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;
  virtual ~WindowBase();

  // The window; null before it is made and after it is gone, however it went.
  HWND Window() const { return window_.get(); }

  // Sends a message straight to this object's WndProc, not through the queue.
  LRESULT Perform(UINT msg, WPARAM wp, LPARAM lp) { return WndProc(msg, wp, lp); }

 protected:
  // Makes the window bound to this object. Throws Exception with the system's reason when the
  // window cannot be made.
  HWND CreateBoundWindow(const CreateParams& params);
  // Unbinds the object first, so that the window's last messages go to the default procedure.
  void DestroyBoundWindow();

  // Everything the window receives while it is bound, WM_NCDESTROY last. Overrides end with
  // their base's WndProc for what they leave; this one gives it to DefaultHandler.
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // The system's default processing of a message.
  LRESULT DefaultHandler(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // Forgets the window and takes the object off it; returns the window.
  HWND Unbind();

  UniqueWindow window_;
};

}  // namespace tk
