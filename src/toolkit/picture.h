#pragma once
// Pictures stored in the executable: JPEG (libjpeg) and PNG (libpng over zlib),
// decoded once into a 32-bit top-down DIB section and drawn at their own pixel size.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "toolkit/handles.h"

namespace tk {

class TPicture {
 public:
  TPicture() = default;
  // Decodes JPEG or PNG bytes (told apart by their signature); throws tk::Exception.
  static TPicture FromBytes(const uint8_t* data, size_t size);
  // An RCDATA resource of the running module.
  static TPicture FromResource(const wchar_t* name);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return !bitmap_; }
  // Every pixel fully covers what lies beneath.
  bool Opaque() const { return bitmap_ && !has_alpha_; }

  // Opaque pictures are copied, pictures with alpha are blended over what is there.
  void Draw(HDC dc, int x, int y) const;
  // Copies the part (in the picture's own pixels) of an opaque picture, drawn at x, y, alone.
  void DrawPart(HDC dc, int x, int y, const RECT& part) const;

 private:
  void Allocate(int width, int height);
  // Fill a new picture from the bytes of a file of each kind; throw tk::Exception.
  void DecodeJpeg(const uint8_t* data, size_t size);
  void DecodePng(const uint8_t* data, size_t size);

  UniqueBitmap bitmap_;
  uint32_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool has_alpha_ = false;
};

}  // namespace tk
