#include "toolkit/check_box.h"

namespace tk {

TCheckBox::TCheckBox(TForm* parent, std::unique_ptr<TFont> font, std::wstring caption)
    : TWinControl(parent, std::move(font)), caption_(std::move(caption)) {}

HWND TCheckBox::CreateWnd(HWND parent) {
  return CreateWindowExW(0, L"BUTTON", caption_.c_str(),
                         WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_AUTOCHECKBOX | (Visible() ? WS_VISIBLE : 0),
                         Left(), Top(), Width(), Height(), parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void TCheckBox::WindowCreated() { SendMessageW(Handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0); }

bool TCheckBox::Checked() const {
  if (!HandleAllocated()) return checked_;
  return SendMessageW(const_cast<TCheckBox*>(this)->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  if (HandleAllocated()) SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace tk
