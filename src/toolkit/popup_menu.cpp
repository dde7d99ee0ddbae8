#include "toolkit/popup_menu.h"

namespace tk {
namespace {

constexpr UINT kFirstCommand = 100;

}  // namespace

TPopupMenu::TPopupMenu() : menu_(CreatePopupMenu()) {}

TMenuItem* TPopupMenu::Add(std::wstring caption, TNotifyEvent on_click) {
  items_.push_back(std::make_unique<TMenuItem>(std::move(caption), std::move(on_click)));
  TMenuItem* item = items_.back().get();
  UINT id = kFirstCommand + static_cast<UINT>(items_.size() - 1);
  if (item->Caption == L"-") {
    AppendMenuW(menu_.get(), MF_SEPARATOR, id, nullptr);
  } else {
    AppendMenuW(menu_.get(), MF_STRING, id, item->Caption.c_str());
  }
  return item;
}

void TPopupMenu::Popup(int x, int y, HWND owner) {
  TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
}

bool TPopupMenu::DispatchCommand(UINT command) {
  if (command < kFirstCommand || command - kFirstCommand >= items_.size()) return false;
  TMenuItem* item = items_[command - kFirstCommand].get();
  if (item->OnClick) item->OnClick(item);
  return true;
}

}  // namespace tk
