#pragma once
#include "toolkit/control.h"
#include "toolkit/picture.h"

namespace tk {

// A picture at its own pixel size (auto-size on), opaque or blended by its alpha.
class TImage : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  void SetPicture(TPicture picture);
  const TPicture& Picture() const { return picture_; }
  void Paint(HDC dc) override;
  void ScaleBy(int measured, int design) override;

 private:
  TPicture picture_;
};

}  // namespace tk
