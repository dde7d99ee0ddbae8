#include "toolkit/application.h"

#include <ole2.h>

#include "core/error_text.h"
#include "core/program_path.h"
#include "core/window_placement.h"
#include "toolkit/exception.h"
#include "toolkit/program_files.h"
#include "toolkit/text.h"

namespace tk {

TApplication* Application = nullptr;

namespace {

constexpr wchar_t kApplicationWindowClass[] = L"TApplication";

std::u16string SystemLowerCase(std::u16string_view text) {
  std::wstring lower = ToWide(text);
  if (!lower.empty()) CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return ToU16(lower);
}

// Every character after the first follows the system's lower-case mapping.
std::wstring FormTitle() {
  return ToWide(core::LowerCaseAfterFirst(core::ApplicationTitleFromPath(ToU16(ExecutablePath())), SystemLowerCase));
}

// Tab and Shift+Tab move the focus between a window's controls.
bool IsTabKey(const MSG& msg) {
  return msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
}

}  // namespace

TApplication::TApplication() {
  Application = this;
  ole_ = UniqueOleInit(SUCCEEDED(OleInitialize(nullptr)));
  title_ = FormTitle();
  CreateParams params;
  params.window_class = {kApplicationWindowClass, 0, LoadIconW(GetModuleHandleW(nullptr), L"MAINICON"),
                         LoadCursorW(nullptr, IDC_ARROW)};
  params.caption = title_.c_str();
  params.style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
  params.x = GetSystemMetrics(SM_CXSCREEN) / 2;
  params.y = GetSystemMetrics(SM_CYSCREEN) / 2;
  CreateBoundWindow(params);
}

TApplication::~TApplication() {
  DestroyForms();
  DestroyBoundWindow();
  ole_.reset();
  if (Application == this) Application = nullptr;
}

void TApplication::AddForm(TForm* form) {
  form->Construct();
  if (!main_form_) {
    main_form_ = form;
    form->Handle();
    SetWindowLongPtrW(Handle(), GWL_EXSTYLE, GetWindowLongPtrW(Handle(), GWL_EXSTYLE) | WS_EX_APPWINDOW);
  } else {
    form->Handle();
  }
}

void TApplication::DestroyForms() {
  active_form_ = nullptr;
  main_form_ = nullptr;
  while (!forms_.empty()) forms_.pop_back();
}

void TApplication::Run() {
  if (main_form_) main_form_->SetVisible(true);
  // One call takes the next message, waiting for it: a wait apart from the take would cost
  // each wake-up (every timer event) one more round trip to the window server under Wine.
  while (!terminated_) {
    MSG msg;
    if (GetMessageW(&msg, nullptr, 0, 0) == -1) {
      WaitMessage();
      continue;
    }
    Dispatch(msg);
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  Dispatch(msg);
  return true;
}

void TApplication::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    // The loop that owns the run ends when control is back in it.
    terminated_ = true;
    return;
  }
  try {
    if (OnMessage && OnMessage(msg)) return;
    if (IsTabKey(msg)) {
      HWND root = GetAncestor(msg.hwnd, GA_ROOT);
      for (const auto& form : forms_) {
        if (form->HandleAllocated() && form->Handle() == root && form->SelectNext(GetKeyState(VK_SHIFT) >= 0)) {
          return;
        }
      }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  } catch (...) {
    ReportException();
  }
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleException() { ShowException(CurrentExceptionMessage()); }

void ReportException() noexcept {
  // A report that fails in turn is dropped: an exception must not unwind through the system.
  try {
    if (Application) Application->HandleException();
  } catch (...) {
  }
}

void TApplication::ShowException(const std::wstring& message) {
  std::wstring text = ToWide(core::ErrorReportText(ToU16(message)));
  if (OnException) {
    OnException(text);
    return;
  }
  MessageBoxW(Handle(), text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::UpdateVisible() {
  bool any_visible = false;
  for (const auto& form : forms_) any_visible = any_visible || form->Visible();
  HWND hwnd = Handle();
  bool real = IsWindowVisible(hwnd) != FALSE;
  if (real != recorded_visible_ || any_visible == recorded_visible_) return;
  if (any_visible) {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  } else {
    ShowWindow(hwnd, SW_HIDE);
  }
  recorded_visible_ = any_visible;
}

void TApplication::MoveToActiveFormMonitor(TForm* form) {
  TForm* active = active_form_;
  if (!active || active == form || !active->HandleAllocated()) return;
  HMONITOR target = MonitorFromWindow(active->Handle(), MONITOR_DEFAULTTONEAREST);
  HMONITOR own = MonitorFromWindow(form->Handle(), MONITOR_DEFAULTTONEAREST);
  if (target == own) return;
  MONITORINFO target_info{}, own_info{};
  target_info.cbSize = own_info.cbSize = sizeof(MONITORINFO);
  if (!GetMonitorInfoW(target, &target_info) || !GetMonitorInfoW(own, &own_info)) return;
  auto rect = [](const RECT& r) { return core::Rect{r.left, r.top, r.right, r.bottom}; };
  core::Point p = core::MoveToMonitor(
      core::Rect{form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()},
      rect(own_info.rcMonitor), rect(target_info.rcMonitor));
  form->SetBounds(p.x, p.y, form->Width(), form->Height());
}

void TApplication::ActivateNextForm(TForm* hidden) {
  TForm* topmost_candidate = nullptr;
  for (const auto& form : forms_) {
    if (form.get() == hidden || !form->Visible() || !form->HandleAllocated()) continue;
    HWND hwnd = form->Handle();
    if (!IsWindowEnabled(hwnd)) continue;
    if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) {
      if (!topmost_candidate) topmost_candidate = form.get();
      continue;
    }
    SetActiveWindow(hwnd);
    return;
  }
  if (topmost_candidate) SetActiveWindow(topmost_candidate->Handle());
}

LRESULT TApplication::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      // Passed on to the main form, which ends the application.
      if (main_form_) SendMessageW(main_form_->Handle(), WM_CLOSE, 0, 0);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wp) {
        // The session ends now: release everything without going back to the loop.
        Terminate();
        if (OnEndSession) OnEndSession();
        DestroyForms();
        ExitProcess(0);
      }
      // A log-off called off still ends the run, the way a close request does, and the
      // user is still there to read a report.
      if (main_form_) {
        SendMessageW(main_form_->Handle(), WM_CLOSE, 0, 0);
      } else {
        Terminate();
      }
      return 0;
    default:
      return WindowBase::WndProc(msg, wp, lp);
  }
}

}  // namespace tk
