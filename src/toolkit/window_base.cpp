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

HWND WindowBase::CreateBoundWindow(const CreateParams& params) {
  RegisterOnce(params.window_class, &WindowBase::WindowProc);
  HWND hwnd =
      CreateWindowExW(params.ex_style, params.window_class.name, params.caption, params.style, params.x, params.y,
                      params.width, params.height, params.parent, nullptr, GetModuleHandleW(nullptr), this);
  // A window destroyed during its creation has unbound itself at its WM_NCDESTROY.
  if (!hwnd) {
    const DWORD error = GetLastError();
    throw Exception(L"Error creating window. " + SystemErrorText(error));
  }
  return hwnd;
}

HWND WindowBase::Unbind() {
  HWND hwnd = window_.release();
  if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return hwnd;
}

void WindowBase::DestroyBoundWindow() {
  if (HWND hwnd = Unbind()) DestroyWindow(hwnd);
}

LRESULT WindowBase::WndProc(UINT msg, WPARAM wp, LPARAM lp) { return DefaultHandler(msg, wp, lp); }

LRESULT WindowBase::DefaultHandler(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(window_.get(), msg, wp, lp);
}

LRESULT CALLBACK WindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* bound = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bound));
    bound->window_.reset(hwnd);
  }
  auto* window = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    result = window->WndProc(msg, wp, lp);
  } catch (...) {
    ReportException();
  }
  // The window's last message: the object lets go of it, so that nothing reaches the object
  // afterwards and its destruction has no window left to destroy.
  if (msg == WM_NCDESTROY) window->Unbind();
  return result;
}

}  // namespace tk
