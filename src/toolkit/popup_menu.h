#pragma once
// A pop-up menu whose items run their handlers when their command arrives, after the menu
// has closed.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/classes.h"
#include "toolkit/handles.h"
#include "toolkit/window_base.h"

namespace tk {

class TMenuItem : public TComponent {
 public:
  // A caption of "-" makes the item a separator line.
  TMenuItem(std::wstring caption, TNotifyEvent on_click) : Caption(std::move(caption)), OnClick(std::move(on_click)) {}
  std::wstring Caption;
  TNotifyEvent OnClick;
};

class TPopupMenu : public TComponent, private WindowBase {
 public:
  TPopupMenu();
  ~TPopupMenu() override;

  TMenuItem* Add(std::wstring caption, TNotifyEvent on_click = nullptr);
  const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }

  // Shows the menu with its top-left corner at a screen point; either mouse button picks an
  // item. Returns when the menu closes; the picked item's handler runs when its command comes.
  void Popup(int x, int y);
  // The hidden window that owns the menu and receives its commands.
  using WindowBase::Window;
  HMENU Menu() const { return menu_.get(); }

 private:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  std::vector<std::unique_ptr<TMenuItem>> items_;
  UniqueMenu menu_;
};

}  // namespace tk
