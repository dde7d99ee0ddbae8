#pragma once
// Move-only owners for Win32 handles: each handle has exactly one owner that
// releases it, on every path.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace tk {

// Owns one handle of type T and releases it with Close. `Invalid` is the value that means
// "no handle", given as an integer because INVALID_HANDLE_VALUE cannot be a template argument.
template <typename T, auto Close, std::intptr_t Invalid = 0>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T value) : value_(value) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueAny() { reset(); }

  static T InvalidValue() {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(Invalid);
    } else {
      return static_cast<T>(Invalid);
    }
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != InvalidValue(); }
  T release() { return std::exchange(value_, InvalidValue()); }
  // For out-parameters: releases what is held and lends the slot.
  T* put() {
    reset();
    return &value_;
  }
  void reset(T value = InvalidValue()) {
    T old = std::exchange(value_, value);
    if (old != InvalidValue()) Close(old);
  }

 private:
  T value_ = InvalidValue();
};

using UniqueBrush = UniqueAny<HBRUSH, &DeleteObject>;
using UniqueFont = UniqueAny<HFONT, &DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueIcon = UniqueAny<HICON, &DestroyIcon>;
using UniqueMemoryDC = UniqueAny<HDC, &DeleteDC>;
using UniqueKernelHandle = UniqueAny<HANDLE, &CloseHandle>;
using UniqueFile = UniqueAny<HANDLE, &CloseHandle, -1>;  // CreateFileW fails with INVALID_HANDLE_VALUE
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;
using UniqueMenu = UniqueAny<HMENU, &DestroyMenu>;

// The call that balances a successful initialisation (OleInitialize), owed by whoever holds
// the `true` that the initialisation's success gave.
template <auto Call>
void CallBalancing(bool) {
  Call();
}
using UniqueOleInit = UniqueAny<bool, &CallBalancing<&OleUninitialize>>;

// The screen's DC, released as it was obtained.
class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ~ScreenDC() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a DC for one scope.
class SelectIn {
 public:
  SelectIn(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectIn() { SelectObject(dc_, old_); }
  SelectIn(const SelectIn&) = delete;
  SelectIn& operator=(const SelectIn&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace tk
