#include "toolkit/form.h"

#include <windowsx.h>

#include <algorithm>

#include "core/design_scale.h"
#include "core/window_placement.h"
#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

TShiftState ShiftFromKeys(WPARAM keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (keys & MK_LBUTTON) shift |= ssLeft;
  if (keys & MK_RBUTTON) shift |= ssRight;
  if (keys & MK_MBUTTON) shift |= ssMiddle;
  return shift;
}

HCURSOR CursorHandle(TCursor cursor) {
  switch (cursor) {
    case TCursor::crSizeAll:
      return LoadCursorW(nullptr, IDC_SIZEALL);
    case TCursor::crHandPoint:
      return LoadCursorW(nullptr, IDC_HAND);
    default:
      return LoadCursorW(nullptr, IDC_ARROW);
  }
}

}  // namespace

int MeasureScreenTextHeight() {
  ScreenDC screen;
  TFont font(L"Tahoma", -11, DEFAULT_CHARSET, clWindowText);
  SelectIn select(screen.get(), font.Handle());
  SIZE size{};
  GetTextExtentPoint32W(screen.get(), L"0", 1, &size);
  return size.cy;
}

TForm::TForm() = default;

TForm::~TForm() {
  // Controls go first; the window after them, so nothing paints into a dying form.
  owned_.clear();
  graphic_controls_.clear();
  DestroyBoundWindow();
}

void TForm::Construct() {
  ReadLayout();
  int measured = MeasureScreenTextHeight();
  if (measured != core::kDesignTextHeight) ScaleLayout(measured, core::kDesignTextHeight);
  for (TWinControl* control : win_controls_) control->CaptureMargins(client_width_, client_height_);
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    // The window is created all the same; the handler's later steps are skipped.
    ReportException();
  }
}

void TForm::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, Style(), FALSE, ExStyle());
  client_width_ = width;
  client_height_ = height;
  SetBounds(left_, top_, r.right - r.left, r.bottom - r.top);
}

void TForm::ScaleLayout(int measured, int design) {
  SetClientSize(core::ScaleDesignValue(client_width_, measured, design),
                core::ScaleDesignValue(client_height_, measured, design));
  for (TGraphicControl* control : graphic_controls_) control->ScaleBy(measured, design);
  for (TWinControl* control : win_controls_) control->ScaleBy(measured, design);
}

HWND TForm::Handle() {
  if (!Window()) CreateHandle();
  return Window();
}

void TForm::CreateHandle() {
  CreateParams params;
  // A DC of its own: a shared one is set up afresh (font and all) for every paint, which under
  // Wine costs more than drawing the blinking dot.
  params.window_class = {ClassName(), CS_DBLCLKS | CS_OWNDC, nullptr, LoadCursorW(nullptr, IDC_ARROW)};
  if (Style() & WS_SYSMENU) {
    // A form has no icon of its own: its title bar shows the application's, through the class.
    HWND app = Application->Handle();
    params.window_class.icon = reinterpret_cast<HICON>(GetClassLongPtrW(app, GCLP_HICON));
    params.window_class.small_icon = reinterpret_cast<HICON>(GetClassLongPtrW(app, GCLP_HICONSM));
  }
  // A form centred at its show is made where that show will put it, so the show moves nothing.
  if (Position == TPosition::poDesktopCenter) {
    core::Point p = DesktopCentre();
    left_ = p.x;
    top_ = p.y;
  }
  params.caption = Caption.c_str();
  params.style = Style();
  params.ex_style = ExStyle() | (StayOnTop() ? WS_EX_TOPMOST : 0);
  params.x = left_;
  params.y = top_;
  params.width = width_;
  params.height = height_;
  params.parent = Application->Handle();
  CreateBoundWindow(params);
  // The class's DC of the window's own, kept for its life: it follows the window's place and
  // what covers it, so drawing at once needs no call for a DC.
  own_dc_ = GetDC(Window());
  for (TWinControl* control : win_controls_) {
    control->Handle();
    SetWindowPos(control->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void TForm::SetBounds(int left, int top, int width, int height) {
  StoreBounds(left, top, width, height);
  if (Window()) {
    SetWindowPos(Window(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TForm::SyncBoundsFromWindow() {
  RECT r{};
  GetWindowRect(Window(), &r);
  // A hidden maximised window keeps the place it will be restored to.
  if (IsZoomed(Window()) || IsIconic(Window())) return;
  StoreBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TForm::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (in_show_) throw Exception(L"Cannot change Visible in OnShow or OnHide");
  visible_ = visible;
  ShowingChanged();
}

void TForm::ShowingChanged() {
  HWND hwnd = Handle();
  if (visible_) {
    Application->MoveToActiveFormMonitor(this);
    Application->UpdateVisible();
    in_show_ = true;
    try {
      if (OnShow) OnShow(this);
    } catch (...) {
      in_show_ = false;
      ReportException();
    }
    in_show_ = false;
    PlaceOnShow();
    ShowWindow(hwnd, maximized_ ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  } else {
    maximized_ = IsZoomed(hwnd) != FALSE;
    if (GetActiveWindow() == hwnd) {
      SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
      Application->ActivateNextForm(this);
    } else {
      ShowWindow(hwnd, SW_HIDE);
    }
    Application->UpdateVisible();
  }
}

core::Point TForm::DesktopCentre() const {
  return core::CenterOnDesktop({GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                               width_, height_);
}

void TForm::PlaceOnShow() {
  if (Position != TPosition::poDesktopCenter) return;
  // Made there already, unless the desktop or the form's size changed since.
  core::Point p = DesktopCentre();
  if (p.x != left_ || p.y != top_) SetBounds(p.x, p.y, width_, height_);
  Position = TPosition::poDesigned;
}

void TForm::Show() {
  SetVisible(true);
  SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TForm::Close() {
  if (Application->MainForm() == this) {
    Application->Terminate();
  } else {
    Hide();
  }
}

std::vector<TWinControl*> TForm::TabOrderList() const {
  std::vector<TWinControl*> list;
  for (TWinControl* control : win_controls_) {
    if (control->TabStop) list.push_back(control);
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const TWinControl* a, const TWinControl* b) { return a->TabOrder < b->TabOrder; });
  return list;
}

void TForm::Activated() {
  if (active_control_ && active_control_->CanFocus()) {
    active_control_->SetFocus();
    return;
  }
  for (TWinControl* control : TabOrderList()) {
    if (control->CanFocus()) {
      active_control_ = control;
      control->SetFocus();
      return;
    }
  }
  ::SetFocus(Window());
}

bool TForm::SelectNext(bool forward) {
  std::vector<TWinControl*> list = TabOrderList();
  if (list.empty()) return false;
  int count = static_cast<int>(list.size());
  int current = -1;
  HWND focus = GetFocus();
  for (int i = 0; i < count; ++i) {
    if (list[i]->Contains(focus)) current = i;
  }
  for (int step = 1; step <= count; ++step) {
    int start = current < 0 ? (forward ? -1 : count) : current;
    int i = ((start + (forward ? step : -step)) % count + count) % count;
    if (list[i]->CanFocus()) {
      active_control_ = list[i];
      list[i]->SetFocus();
      return true;
    }
  }
  return true;
}

TGraphicControl* TForm::ControlAtPos(POINT p) const {
  for (auto it = graphic_controls_.rbegin(); it != graphic_controls_.rend(); ++it) {
    TGraphicControl* control = *it;
    RECT r = control->BoundsRect();
    if (control->Visible() && control->Enabled && PtInRect(&r, p)) return control;
  }
  return nullptr;
}

void TForm::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(Window(), &ps);
  // Only what was invalidated is drawn: a blink asks for the dot's square, not the whole bar.
  DrawArea(dc, ps.rcPaint);
  EndPaint(Window(), &ps);
}

bool TForm::PaintNow(const RECT& area) {
  if (!own_dc_ || !IsWindowVisible(Window())) return false;
  DrawArea(own_dc_, area);
  return true;
}

void TForm::DrawArea(HDC dc, const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  // When the last control there covers the area with opaque pixels (the dot, lit or dark, over
  // the bar's picture), nothing beneath shows: one copy straight to the screen, which cannot
  // flicker and needs no buffer.
  TGraphicControl* top = nullptr;
  for (TGraphicControl* control : graphic_controls_) {
    RECT bounds = control->BoundsRect();
    RECT overlap;
    if (control->Visible() && IntersectRect(&overlap, &bounds, &area)) top = control;
  }
  if (top && top->PaintOpaque(dc, area)) return;
  if (width > 0 && height > 0 && PaintBuffer(dc, area.right, area.bottom)) {
    // Drawn off screen first, so a new caption never flickers. The buffer is in client
    // coordinates; only the area is filled and copied to the screen.
    HDC buffer = paint_buffer_.get();
    SetDCBrushColor(buffer, ColorToRGB(Color));
    FillRect(buffer, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    for (TGraphicControl* control : graphic_controls_) {
      RECT bounds = control->BoundsRect();
      RECT overlap;
      if (control->Visible() && IntersectRect(&overlap, &bounds, &area)) control->Paint(buffer);
    }
    BitBlt(dc, area.left, area.top, width, height, buffer, area.left, area.top, SRCCOPY);
  }
}

bool TForm::PaintBuffer(HDC dc, int right, int bottom) {
  if (paint_buffer_ && right <= paint_size_.cx && bottom <= paint_size_.cy) return true;
  // At least the client area, so that it is made once.
  RECT client{0, 0, 0, 0};
  GetClientRect(Window(), &client);
  const SIZE size{std::max<LONG>(right, client.right), std::max<LONG>(bottom, client.bottom)};
  paint_buffer_.reset();
  paint_bitmap_.reset(CreateCompatibleBitmap(dc, size.cx, size.cy));
  if (!paint_bitmap_) return false;
  paint_buffer_.reset(CreateCompatibleDC(dc));
  if (!paint_buffer_) return false;
  SelectObject(paint_buffer_.get(), paint_bitmap_.get());
  paint_size_ = size;
  return true;
}

LRESULT TForm::MouseButton(UINT msg, WPARAM wp, LPARAM lp) {
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  bool is_up = msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP;
  TControl* control = capture_control_ ? capture_control_ : ControlAtPos(p);
  if (is_up) {
    bool click = msg == WM_LBUTTONUP && click_armed_ && control;
    if (click) {
      RECT r = control->BoundsRect();
      click = PtInRect(&r, p) != FALSE;
    }
    capture_control_ = nullptr;
    click_armed_ = false;
    if (GetCapture() == Window()) ReleaseCapture();
    if (click) control->Click();
    return 0;
  }
  if (!control) return DefaultHandler(msg, wp, lp);
  TMouseButton button = TMouseButton::mbLeft;
  if (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) button = TMouseButton::mbRight;
  if (msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK) button = TMouseButton::mbMiddle;
  bool dbl = msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
  SetCapture(Window());
  capture_control_ = control;
  // The second press of a double click makes no second click.
  click_armed_ = msg == WM_LBUTTONDOWN;
  TShiftState shift = ShiftFromKeys(wp) | (dbl ? ssDouble : 0);
  // Only the left button double-clicks a control; the others' second press is just a press.
  if (msg == WM_LBUTTONDBLCLK) control->DblClick();
  control->MouseDown(button, shift, p.x - control->Left(), p.y - control->Top());
  return 0;
}

LRESULT TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      return MouseButton(msg, wp, lp);
    case WM_CAPTURECHANGED:
      capture_control_ = nullptr;
      click_armed_ = false;
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && reinterpret_cast<HWND>(wp) == Window()) {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(Window(), &p);
        TGraphicControl* control = ControlAtPos(p);
        SetCursor(CursorHandle(control ? control->Cursor : TCursor::crDefault));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        Application->SetActiveForm(this);
        if (!HIWORD(wp)) Activated();
        return 0;
      }
      // Remember where the focus was, to give it back at the next activation.
      for (TWinControl* control : win_controls_) {
        if (control->Focused()) active_control_ = control;
      }
      break;
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED) {
        client_width_ = LOWORD(lp);
        client_height_ = HIWORD(lp);
        for (TWinControl* control : win_controls_) control->ApplyAnchors(client_width_, client_height_);
      }
      break;
    case WM_WINDOWPOSCHANGED:
      SyncBoundsFromWindow();
      break;
    case WM_NCDESTROY:
      // The form's window is going (destroyed from outside, or with its owner's), and the
      // controls' windows, its children, are gone already.
      for (TWinControl* control : win_controls_) control->WindowDestroyed();
      own_dc_ = nullptr;
      break;
    default:
      break;
  }
  return WindowBase::WndProc(msg, wp, lp);
}

}  // namespace tk
