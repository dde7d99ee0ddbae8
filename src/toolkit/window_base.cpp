#include "toolkit/window_base.h"

#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

void RegisterOnce(const WindowClass& window_class, WNDPROC procedure) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(instance, window_class.name, &wc)) return;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  wc.style = window_class.style;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = window_class.icon;
  wc.hIconSm = window_class.small_icon;
  wc.hCursor = window_class.cursor;
  wc.lpszClassName = window_class.name;
  RegisterClassExW(&wc);
}

}  // namespace

WindowBase::~WindowBase() { DestroyBoundWindow(); }

HWND WindowBase::CreateBoundWindow(const WindowClass& window_class, DWORD ex_style, const wchar_t* caption, DWORD style,
                                   int x, int y, int width, int height, HWND parent) {
  RegisterOnce(window_class, &WindowBase::WindowProc);
  HWND hwnd = CreateWindowExW(ex_style, window_class.name, caption, style, x, y, width, height, parent, nullptr,
                              GetModuleHandleW(nullptr), this);
  if (!hwnd) {
    const DWORD error = GetLastError();
    window_.release();  // a window destroyed during its creation is gone already
    throw Exception(L"Error creating window. " + SystemErrorText(error));
  }
  return hwnd;
}

void WindowBase::DestroyBoundWindow() {
  if (!window_) return;
  SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
}

LRESULT WindowBase::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(window_.get(), msg, wp, lp); }

LRESULT CALLBACK WindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* bound = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bound));
    bound->window_.reset(hwnd);
  }
  auto* window = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, msg, wp, lp);
  try {
    return window->HandleMessage(msg, wp, lp);
  } catch (...) {
    if (Application) Application->HandleException();
    return 0;
  }
}

}  // namespace tk
