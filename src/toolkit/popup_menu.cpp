#include "toolkit/popup_menu.h"

#include "toolkit/application.h"

namespace tk {
namespace {

constexpr wchar_t kMenuWindowClass[] = L"TPopupList";
constexpr UINT kFirstCommand = 100;

}  // namespace

TPopupMenu::TPopupMenu() : menu_(CreatePopupMenu()) {
  CreateBoundWindow({kMenuWindowClass}, 0, L"", WS_POPUP, 0, 0, 0, 0, nullptr);
}

TPopupMenu::~TPopupMenu() { DestroyBoundWindow(); }

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

void TPopupMenu::Popup(int x, int y) {
  TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, Window(), nullptr);
}

LRESULT TPopupMenu::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && HIWORD(wp) == 0) {
    size_t index = LOWORD(wp) - kFirstCommand;
    if (LOWORD(wp) >= kFirstCommand && index < items_.size()) {
      TMenuItem* item = items_[index].get();
      if (item->OnClick) item->OnClick(item);
      return 0;
    }
  }
  return WindowBase::HandleMessage(msg, wp, lp);
}

}  // namespace tk
