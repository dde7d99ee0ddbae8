#pragma once
// A top-level window built from a layout: it owns its controls, paints the graphic ones in
// layout order over its background, routes the mouse to them, and runs its handlers.
#include <windows.h>

#include <memory>
#include <vector>

#include "core/geometry.h"
#include "toolkit/classes.h"
#include "toolkit/control.h"
#include "toolkit/font.h"
#include "toolkit/handles.h"
#include "toolkit/win_control.h"
#include "toolkit/window_base.h"

namespace tk {

class TTimer;

class TForm : public TComponent, public TBounded, private WindowBase {
 public:
  TForm();
  ~TForm() override;

  // Reads the layout, scales it to the display and runs OnCreate; called by CreateForm
  // once the program-wide reference already holds this object.
  void Construct();

  HWND Handle();
  bool HandleAllocated() const { return Window() != nullptr; }
  // Draws the area of the client now, as a paint would, when the window shows; false when not.
  bool PaintNow(const RECT& area);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Make visible, then raise to the top of the normal windows and activate.
  void Show();
  void Hide() { SetVisible(false); }
  // Asks the form to close: the main form ends the application, any other form hides.
  void Close();

  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }
  void SetBounds(int left, int top, int width, int height);

  std::wstring Caption;
  TPosition Position = TPosition::poDesigned;
  TColor Color = clWindow;

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;

  using WindowBase::Perform;

  // Moves the focus to the next (or previous) control in tab order that can take it.
  // Returns false when the key is not this form's to handle.
  bool SelectNext(bool forward);

 protected:
  // Builds the controls; every derived form overrides it with its layout.
  virtual void ReadLayout() = 0;
  // Window class name, the form's class name ("TForm1"); test drivers find windows by it.
  virtual const wchar_t* ClassName() const = 0;
  // Window styles of this form's window.
  virtual DWORD Style() const = 0;
  virtual DWORD ExStyle() const { return 0; }
  virtual bool StayOnTop() const { return false; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  using WindowBase::DefaultHandler;

  // Layout helpers: the form owns what they make.
  template <typename T, typename... Args>
  T* AddGraphic(Args&&... args) {
    T* control = Own(std::make_unique<T>(this, std::forward<Args>(args)...));
    graphic_controls_.push_back(control);
    return control;
  }
  template <typename T, typename... Args>
  T* AddWinControl(Args&&... args) {
    T* control = Own(std::make_unique<T>(this, std::forward<Args>(args)...));
    win_controls_.push_back(control);
    return control;
  }
  template <typename T, typename... Args>
  T* AddComponent(Args&&... args) {
    return Own(std::make_unique<T>(std::forward<Args>(args)...));
  }
  void SetClientSize(int width, int height);
  // Layout values are for the design text height (core::kDesignTextHeight); scale when the screen differs.
  virtual void ScaleLayout(int measured, int design);

 private:
  template <typename T>
  T* Own(std::unique_ptr<T> object) {
    T* raw = object.get();
    owned_.push_back(std::move(object));
    return raw;
  }
  void CreateHandle();
  void Paint();
  void DrawArea(HDC dc, const RECT& area);
  // Makes the buffer cover client coordinates up to right and bottom when it does not yet.
  bool PaintBuffer(HDC dc, int right, int bottom);
  TGraphicControl* ControlAtPos(POINT client) const;
  LRESULT MouseButton(UINT msg, WPARAM wp, LPARAM lp);
  // Where the form lies centred on the virtual desktop as it is now.
  core::Point DesktopCentre() const;
  void PlaceOnShow();
  void ShowingChanged();
  void SyncBoundsFromWindow();
  void Activated();
  std::vector<TWinControl*> TabOrderList() const;

  std::vector<std::unique_ptr<TObject>> owned_;
  std::vector<TGraphicControl*> graphic_controls_;
  std::vector<TWinControl*> win_controls_;
  TWinControl* active_control_ = nullptr;  // the control that had the focus when the form was left
  bool visible_ = false;
  bool in_show_ = false;
  bool maximized_ = false;
  HDC own_dc_ = nullptr;  // the window's own DC (CS_OWNDC), valid while the window lives
  // Paint's off-screen buffer, kept from paint to paint: making a memory DC costs more than a
  // blink's whole paint (under Wine the display driver sets up a font for every new DC).
  UniqueBitmap paint_bitmap_;
  UniqueMemoryDC paint_buffer_;
  SIZE paint_size_{0, 0};
  int client_width_ = 0, client_height_ = 0;
  TControl* capture_control_ = nullptr;  // pressed control while the form holds the capture
  bool click_armed_ = false;             // a left press that may still become a click
};

// Text height of "0" in the window font ("Tahoma", 11 pixels) on the screen.
int MeasureScreenTextHeight();

}  // namespace tk
