#pragma once
// A pop-up menu whose items run their handlers when their command arrives, after the menu
// has closed.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/classes.h"
#include "toolkit/handles.h"

namespace tk {

class TMenuItem : public TComponent {
 public:
  // A caption of "-" makes the item a separator line.
  TMenuItem(std::wstring caption, TNotifyEvent on_click) : Caption(std::move(caption)), OnClick(std::move(on_click)) {}
  std::wstring Caption;
  TNotifyEvent OnClick;
};

class TPopupMenu : public TComponent {
 public:
  TPopupMenu();

  TMenuItem* Add(std::wstring caption, TNotifyEvent on_click = nullptr);

  // Shows the menu with its top-left corner at a screen point; either mouse button picks an
  // item. Returns when the menu closes; the picked item's command then comes to `owner` as
  // WM_COMMAND, which hands it to DispatchCommand.
  void Popup(int x, int y, HWND owner);
  // Runs the handler of the item whose command this is; false when it is none of this menu's.
  bool DispatchCommand(UINT command);

 private:
  std::vector<std::unique_ptr<TMenuItem>> items_;
  UniqueMenu menu_;
};

}  // namespace tk
