#include "toolkit/win_control.h"

#include "core/design_scale.h"
#include "toolkit/form.h"

namespace tk {

TWinControl::TWinControl(TForm* parent, std::unique_ptr<TFont> font) : TControl(parent), font_(std::move(font)) {}

HWND TWinControl::Handle() {
  if (!window_) {
    // Making the form's window makes every control's window, this one's included: only a
    // control still without one after that makes its own here.
    HWND parent = parent_->Handle();
    if (window_) return window_.get();
    window_.reset(CreateWnd(parent));
    if (font_ && window_) SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_->Handle()), FALSE);
    WindowCreated();
  }
  return window_.get();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  StoreBounds(left, top, width, height);
  if (window_) SetWindowPos(window_.get(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (window_) ShowWindow(window_.get(), visible ? SW_SHOWNA : SW_HIDE);
}

bool TWinControl::CanFocus() const {
  return window_ && visible_ && Enabled && IsWindowVisible(window_.get()) && IsWindowEnabled(window_.get());
}

bool TWinControl::Focused() const { return window_ && Contains(GetFocus()); }

void TWinControl::SetFocus() {
  if (window_) ::SetFocus(window_.get());
}

bool TWinControl::Contains(HWND hwnd) const {
  return hwnd && window_ && (hwnd == window_.get() || IsChild(window_.get(), hwnd));
}

void TWinControl::ScaleBy(int measured, int design) {
  TControl::ScaleBy(measured, design);
  if (font_) font_->SetHeight(core::ScaleDesignValue(font_->Height(), measured, design));
}

void TWinControl::CaptureMargins(int client_width, int client_height) {
  right_margin_ = client_width - (left_ + width_);
  bottom_margin_ = client_height - (top_ + height_);
}

void TWinControl::ApplyAnchors(int client_width, int client_height) {
  int left = left_, top = top_, width = width_, height = height_;
  if (Anchors & akRight) {
    if (Anchors & akLeft)
      width = client_width - left - right_margin_;
    else
      left = client_width - width - right_margin_;
  }
  if (Anchors & akBottom) {
    if (Anchors & akTop)
      height = client_height - top - bottom_margin_;
    else
      top = client_height - height - bottom_margin_;
  }
  SetBounds(left, top, width, height);
}

}  // namespace tk
