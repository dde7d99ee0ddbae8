#pragma once
// A control's font: face, height (negative: character height in pixels), character set, colour.
#include <windows.h>

#include <string>

#include "toolkit/classes.h"
#include "toolkit/handles.h"

namespace tk {

// The RGB value of a colour, a system colour looked up as the system has it now.
COLORREF ColorToRGB(TColor color);

class TFont {
 public:
  TFont(std::wstring name, int height, BYTE charset, TColor color)
      : name_(std::move(name)), height_(height), charset_(charset), color_(color) {}

  int Height() const { return height_; }
  TColor Color() const { return color_; }
  void SetHeight(int height) {
    height_ = height;
    handle_.reset();
  }

  // Made on first use and kept until the font changes.
  HFONT Handle() const;

 private:
  std::wstring name_;
  int height_;
  BYTE charset_;
  TColor color_;
  mutable UniqueFont handle_;
};

}  // namespace tk
