#pragma once
// The few base types and event signatures the windows are built from.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tk {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// Something a form owns: a control, a timer, a menu or the tray icon.
class TComponent : public TObject {};

// Where a control lies in its form's client area, or a form on the screen, in pixels.
class TBounded {
 public:
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 protected:
  // Takes the bounds as they are; moving the window, if there is one, is the caller's.
  void StoreBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
  }

  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Keys and buttons held during a mouse event, as bits.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;

enum class TCursor { crDefault, crSizeAll, crHandPoint };

// Colour values hold red in the lowest byte, as COLORREF does; negative values name system colours.
using TColor = int32_t;
constexpr TColor clWindow = static_cast<TColor>(0xFF000000u | COLOR_WINDOW);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000000u | COLOR_WINDOWTEXT);

enum class TPosition { poDesigned, poDesktopCenter };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

}  // namespace tk
