#pragma once
#include <string>

#include "toolkit/win_control.h"

namespace tk {

// A multi-line, word-wrapping edit with a vertical scroll bar. Enter inserts a line break;
// Tab never reaches it: the window takes Tab to move the focus on.
class TMemo : public TWinControl {
 public:
  TMemo(TForm* parent, std::unique_ptr<TFont> font, std::wstring text);

  std::wstring Text();
  // Replaces the whole text; throws "Text exceeds memo capacity" when the control refuses it.
  void SetText(const std::wstring& text);

 protected:
  HWND CreateWnd(HWND parent) override;
  void WindowCreated() override;

 private:
  std::wstring initial_text_;
};

}  // namespace tk
