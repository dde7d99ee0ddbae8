#include "toolkit/control.h"

#include "core/design_scale.h"
#include "toolkit/form.h"

namespace tk {

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  Invalidate();
  StoreBounds(left, top, width, height);
  Invalidate();
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Repaint();
}

void TControl::Repaint() const {
  // Drawn at once where the window shows: the blinking dot then costs no paint message (under
  // Wine a paint is several round trips to the server, a draw on the form's own DC none).
  if (parent_ && parent_->HandleAllocated() && parent_->PaintNow(BoundsRect())) return;
  Invalidate();
}

void TControl::Invalidate() const {
  if (parent_ && parent_->HandleAllocated()) {
    RECT r = BoundsRect();
    InvalidateRect(parent_->Handle(), &r, FALSE);
  }
}

void TControl::ScaleBy(int measured, int design) {
  SetBounds(core::ScaleDesignValue(left_, measured, design), core::ScaleDesignValue(top_, measured, design),
            core::ScaleDesignValue(width_, measured, design), core::ScaleDesignValue(height_, measured, design));
}

}  // namespace tk
