#pragma once
#include <string>

#include "toolkit/win_control.h"

namespace tk {

// A two-state check box, box at the left and caption to its right. Setting the state from
// code runs no handler.
class TCheckBox : public TWinControl {
 public:
  TCheckBox(TForm* parent, std::unique_ptr<TFont> font, std::wstring caption);
  bool Checked() const;
  void SetChecked(bool checked);

 protected:
  HWND CreateWnd(HWND parent) override;
  void WindowCreated() override;

 private:
  std::wstring caption_;
  bool checked_ = false;  // kept while there is no window
};

}  // namespace tk
