#include "toolkit/popup_menu.h"

#include "toolkit/application.h"

namespace tk {
namespace {

constexpr wchar_t kMenuWindowClass[] = L"TPopupList";
constexpr UINT kFirstCommand = 100;

}  // namespace

TPopupMenu::TPopupMenu() : menu_(CreatePopupMenu()) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  if (!GetClassInfoW(instance, kMenuWindowClass, &wc)) {
    wc = WNDCLASSW{};
    wc.lpfnWndProc = &TPopupMenu::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kMenuWindowClass;
    RegisterClassW(&wc);
  }
  window_.reset(CreateWindowExW(0, kMenuWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr));
  SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TPopupMenu::~TPopupMenu() { SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0); }

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
  TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, window_.get(), nullptr);
}

LRESULT CALLBACK TPopupMenu::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* menu = reinterpret_cast<TPopupMenu*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_COMMAND && menu && HIWORD(wp) == 0) {
    size_t index = LOWORD(wp) - kFirstCommand;
    if (LOWORD(wp) >= kFirstCommand && index < menu->items_.size()) {
      TMenuItem* item = menu->items_[index].get();
      try {
        if (item->OnClick) item->OnClick(item);
      } catch (...) {
        Application->HandleException();
      }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tk
