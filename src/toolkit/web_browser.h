#pragma once
// The system's web browser control, hosted in place in a window of ours. The control
// loads its pages on its own; we only give it a rectangle and an address.
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <ocidl.h>

#include <string>

#include "toolkit/com_ptr.h"
#include "toolkit/win_control.h"

namespace tk {

// The message of a failed OLE call: the description the failing object gave, else the
// system's text for the code, else "OLE error " and the code as eight hex digits.
std::wstring OleErrorMessage(HRESULT code, const std::wstring& description = {});

// Screen pixels to hundredths of a millimetre, for the given pixels per inch.
int PixelsToHimetric(int pixels, int pixels_per_inch);

class TWebBrowser : public TWinControl {
 public:
  // Creates the control's object, with no address; its extent follows the control's bounds.
  // Throws Exception when the system cannot create it.
  explicit TWebBrowser(TForm* parent);
  ~TWebBrowser() override;

  // Activates the control in place as a child of `parent`, at the control's bounds, and
  // returns the control's window. The form does this when it makes its window; later calls
  // only return the window.
  HWND CreateWindowIn(HWND parent);
  // The control's window; null before it is activated.
  HWND ControlWindow() const { return control_window_; }

  // On every resize: the new rectangle becomes the control's extent and in-place position.
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;

  // Starts loading the page at `address` and returns at once. Throws Exception when the
  // control refuses the navigation.
  void Navigate(const std::wstring& address);

 protected:
  HWND CreateWnd(HWND parent) override { return CreateWindowIn(parent); }

 private:
  void ConnectEvents();
  void PlaceControl();

  ComPtr<IOleObject> object_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IOleClientSite> site_;  // our hosting object (web_browser.cpp)
  ComPtr<IOleInPlaceObject> in_place_;
  ComPtr<IDispatch> events_;  // our sink of the control's events
  ComPtr<IConnectionPoint> event_point_;
  DWORD event_cookie_ = 0;
  HWND control_window_ = nullptr;
};

}  // namespace tk
