#pragma once
#include "toolkit/control.h"
#include "toolkit/picture.h"

namespace tk {

// A picture at its own pixel size (auto-size on), opaque or blended by its alpha.
class TImage : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  void SetPicture(TPicture picture);
  // With a picture, the size is always the picture's own.
  void SetBounds(int left, int top, int width, int height) override;
  void Paint(HDC dc) override;
  bool PaintOpaque(HDC dc, const RECT& area) override;
  void ScaleBy(int measured, int design) override;

 private:
  TPicture picture_;
};

}  // namespace tk
