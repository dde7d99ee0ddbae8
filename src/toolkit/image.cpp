#include "toolkit/image.h"

#include "core/design_scale.h"

namespace tk {

void TImage::SetPicture(TPicture picture) {
  picture_ = std::move(picture);
  SetBounds(left_, top_, picture_.Width(), picture_.Height());
}

void TImage::SetBounds(int left, int top, int width, int height) {
  if (!picture_.Empty()) {
    width = picture_.Width();
    height = picture_.Height();
  }
  TGraphicControl::SetBounds(left, top, width, height);
}

void TImage::Paint(HDC dc) { picture_.Draw(dc, left_, top_); }

bool TImage::PaintOpaque(HDC dc, const RECT& area) {
  if (!picture_.Opaque() || area.left < left_ || area.top < top_ || area.right > left_ + picture_.Width() ||
      area.bottom > top_ + picture_.Height() || area.left >= area.right || area.top >= area.bottom) {
    return false;
  }
  picture_.DrawPart(dc, left_, top_, RECT{area.left - left_, area.top - top_, area.right - left_, area.bottom - top_});
  return true;
}

void TImage::ScaleBy(int measured, int design) {
  // A picture that sizes itself keeps its own pixel size; only its place moves.
  SetBounds(core::ScaleDesignValue(left_, measured, design), core::ScaleDesignValue(top_, measured, design), width_,
            height_);  // the picture's own size stays
}

}  // namespace tk
