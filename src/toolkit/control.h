#pragma once
// Controls that are drawn on their window's own surface (pictures and captions): they have
// no window of their own, so the form paints them in layout order and routes the mouse to them.
#include <windows.h>

#include "toolkit/classes.h"

namespace tk {

class TForm;

class TControl : public TComponent, public TBounded {
 public:
  explicit TControl(TForm* parent) : parent_(parent) {}

  RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  virtual void SetBounds(int left, int top, int width, int height);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool Enabled = true;
  TCursor Cursor = TCursor::crDefault;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;

  void Invalidate() const;
  // Draws its rectangle of the form now when the form shows, else asks for a paint.
  void Repaint() const;

  // The form calls these as it routes mouse input.
  virtual void Click() {
    if (OnClick) OnClick(this);
  }
  virtual void DblClick() {
    if (OnDblClick) OnDblClick(this);
  }
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
  }

  // Display scaling of the layout: bounds, and the control's own font if it has one.
  virtual void ScaleBy(int measured, int design);

 protected:
  TForm* parent_;
  bool visible_ = true;
};

class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
  virtual void Paint(HDC dc) = 0;
  // Draws the area (client coordinates) alone, straight onto dc, when the control covers all of
  // it with opaque pixels; false, drawing nothing, when it does not.
  virtual bool PaintOpaque(HDC, const RECT&) { return false; }
};

}  // namespace tk
