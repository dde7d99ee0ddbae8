#include "toolkit/picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#include "toolkit/exception.h"

namespace tk {
namespace {

struct JpegErrorTrap {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrorTrap*>(info->err)->jump, 1); }
void JpegSilence(j_common_ptr, int) {}

// The libjpeg calls, each part under its own setjmp: the part holds only plain C data, so the
// jump back from JpegErrorExit skips no destructor. False when libjpeg reported an error; the
// caller then destroys `info`.
bool StartJpeg(jpeg_decompress_struct& info, JpegErrorTrap& trap, const uint8_t* data, size_t size) {
  if (setjmp(trap.jump)) return false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  return true;
}

bool ReadJpegRows(jpeg_decompress_struct& info, JpegErrorTrap& trap, uint32_t* pixels, size_t width) {
  if (setjmp(trap.jump)) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels + size_t(info.output_scanline) * width);
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

bool IsJpeg(const uint8_t* d, size_t n) { return n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }
bool IsPng(const uint8_t* d, size_t n) { return n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0; }

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

void TPicture::Allocate(int width, int height) {
  BITMAPINFO info = TopDownInfo(width, height);
  void* bits = nullptr;
  bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_) throw Exception(L"Out of system resources");
  pixels_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

TPicture TPicture::FromBytes(const uint8_t* data, size_t size) {
  TPicture picture;
  if (IsJpeg(data, size)) {
    picture.DecodeJpeg(data, size);
  } else if (IsPng(data, size)) {
    picture.DecodePng(data, size);
  } else {
    throw Exception(L"Unknown picture file extension (.)");
  }
  return picture;
}

void TPicture::DecodeJpeg(const uint8_t* data, size_t size) {
  jpeg_decompress_struct info{};
  JpegErrorTrap trap{};
  info.err = jpeg_std_error(&trap.base);
  trap.base.error_exit = JpegErrorExit;
  trap.base.emit_message = JpegSilence;
  bool read = StartJpeg(info, trap, data, size);
  if (read) {
    try {
      Allocate(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    } catch (...) {
      jpeg_destroy_decompress(&info);
      throw;
    }
    read = ReadJpegRows(info, trap, pixels_, static_cast<size_t>(width_));
  }
  jpeg_destroy_decompress(&info);
  if (!read) throw Exception(L"JPEG error #1");
  // Opaque: the fourth byte is filler; make it full alpha for consistency.
  for (int i = 0; i < width_ * height_; ++i) pixels_[i] |= 0xFF000000u;
}

void TPicture::DecodePng(const uint8_t* data, size_t size) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) throw Exception(L"Invalid PNG picture");
  image.format = PNG_FORMAT_BGRA;
  try {
    Allocate(static_cast<int>(image.width), static_cast<int>(image.height));
  } catch (...) {
    png_image_free(&image);
    throw;
  }
  if (!png_image_finish_read(&image, nullptr, pixels_, 0, nullptr)) {
    png_image_free(&image);
    throw Exception(L"Invalid PNG picture");
  }
  // AlphaBlend wants premultiplied colour.
  for (int i = 0; i < width_ * height_; ++i) {
    uint32_t p = pixels_[i];
    uint32_t a = p >> 24;
    if (a != 255) {
      uint32_t b = (p & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, r = ((p >> 16) & 0xFF) * a / 255;
      pixels_[i] = (a << 24) | (r << 16) | (g << 8) | b;
      has_alpha_ = true;
    }
  }
}

void TPicture::DrawPart(HDC dc, int x, int y, const RECT& part) const {
  if (!Opaque()) return;
  // Straight from the pixels: a memory DC to copy from would cost more than the copy. The rows
  // of the part are passed as a picture of their own, so no source row has to be counted from
  // either end of the picture.
  const int width = part.right - part.left;
  const int height = part.bottom - part.top;
  BITMAPINFO info = TopDownInfo(width_, height);
  StretchDIBits(dc, x + part.left, y + part.top, width, height, part.left, 0, width, height,
                pixels_ + static_cast<size_t>(part.top) * width_, &info, DIB_RGB_COLORS, SRCCOPY);
}

TPicture TPicture::FromResource(const wchar_t* name) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) throw Exception(std::wstring(L"Resource ") + name + L" not found");
  return FromBytes(static_cast<const uint8_t*>(bytes), SizeofResource(module, info));
}

void TPicture::Draw(HDC dc, int x, int y) const {
  if (Opaque()) {
    DrawPart(dc, x, y, RECT{0, 0, width_, height_});
    return;
  }
  if (!bitmap_) return;
  // Blended by its own (premultiplied) alpha over what is there.
  UniqueMemoryDC source(CreateCompatibleDC(dc));
  SelectIn select(source.get(), bitmap_.get());
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  GdiAlphaBlend(dc, x, y, width_, height_, source.get(), 0, 0, width_, height_, blend);
}

}  // namespace tk
