#pragma once
// What every window of the toolkit shares: its class is registered once, the object is bound
// to its window from WM_NCCREATE on (through lpCreateParams), and every message reaches the
// object's HandleMessage inside one exception boundary that hands failures to the
// application's default error report.
#include <windows.h>

#include "toolkit/handles.h"

namespace tk {

// How a window class looks; the procedure is always the base's own.
struct WindowClass {
  const wchar_t* name;
  UINT style = 0;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HICON small_icon = nullptr;  // made from `icon` by the system when null
};

class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;
  virtual ~WindowBase();

  // The window; null before it is made and after it is gone.
  HWND Window() const { return window_.get(); }

 protected:
  // Makes the window bound to this object. Throws Exception with the system's reason when the
  // window cannot be made.
  HWND CreateBoundWindow(const WindowClass& window_class, DWORD ex_style, const wchar_t* caption, DWORD style, int x,
                         int y, int width, int height, HWND parent);
  // Unbinds the object first, so that the window's last messages go to the default procedure.
  void DestroyBoundWindow();

  // Everything the window receives while it is bound; DefWindowProcW unless overridden.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  UniqueWindow window_;
};

}  // namespace tk
