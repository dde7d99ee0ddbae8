#pragma once
#include <memory>
#include <string>

#include "toolkit/control.h"
#include "toolkit/font.h"

namespace tk {

// A one-line caption that sizes itself to its text from its left/top corner.
// "&&" shows one "&"; a single "&" underlines the character after it.
class TLabel : public TGraphicControl {
 public:
  TLabel(TForm* parent, std::unique_ptr<TFont> font, TColor color);

  const std::wstring& Caption() const { return caption_; }
  // Setting the text it already has changes nothing: no repaint, no resize.
  void SetCaption(const std::wstring& caption);

  // Decided once when the label is made: under visual styles the label is transparent.
  const TFont& Font() const { return *font_; }

  void Paint(HDC dc) override;
  void ScaleBy(int measured, int design) override;

 private:
  void AdjustBounds();

  std::unique_ptr<TFont> font_;
  TColor color_;
  bool transparent_;
  std::wstring caption_;
};

}  // namespace tk
