#pragma once
// Controls with a child window of their own (check box, notes pad, browser). They lie above
// every graphic control, in layout order, and keep their distances to the anchored edges.
#include <windows.h>

#include <memory>

#include "core/geometry.h"
#include "toolkit/control.h"
#include "toolkit/font.h"
#include "toolkit/handles.h"

namespace tk {

// Layout anchors of a control inside its window: the edges it keeps its distance to.
using TAnchors = core::Anchors;
using core::akBottom;
using core::akLeft;
using core::akRight;
using core::akTop;

class TWinControl : public TControl {
 public:
  // A control owns the window it makes and destroys it with itself, unless it was told the
  // window is gone.
  TWinControl(TForm* parent, std::unique_ptr<TFont> font);

  // The child window, made on first use inside the form's window.
  HWND Handle();
  bool HandleAllocated() const { return static_cast<bool>(window_); }
  // Forgets the window, which is no longer this control's to destroy: the form's window took
  // it along, or (the browser) the hosted object closes the window it made.
  void WindowDestroyed() { window_.release(); }

  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;

  TAnchors Anchors = akLeft | akTop;
  int TabOrder = 0;
  bool TabStop = true;

  bool CanFocus() const;
  bool Focused() const;
  void SetFocus();
  // Whether a window (or one of its children) belongs to this control.
  bool Contains(HWND hwnd) const;

  void ScaleBy(int measured, int design) override;
  // Remembers the distances to the window's right and bottom edges for the anchors.
  void CaptureMargins(int client_width, int client_height);
  void ApplyAnchors(int client_width, int client_height);

 protected:
  // Makes the control's window as a child of `parent` at the control's bounds.
  virtual HWND CreateWnd(HWND parent) = 0;
  // Called once the window exists: apply state kept while there was none.
  virtual void WindowCreated() {}

 private:
  UniqueWindow window_;
  std::unique_ptr<TFont> font_;
  int right_margin_ = 0, bottom_margin_ = 0;
};

}  // namespace tk
