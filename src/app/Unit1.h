#pragma once
// TForm1: the always-on-top quote bar, the main form.
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/form.h"
#include "toolkit/image.h"
#include "toolkit/label.h"
#include "toolkit/popup_menu.h"
#include "toolkit/timer.h"
#include "toolkit/tray_icon.h"

namespace tk {
class TIdHTTP;
class TIdAntiFreeze;
}  // namespace tk

// The screen edges the bar is docked to, as core::Anchor bits.
using tk::TAnchors;

class TForm1 : public tk::TForm {
 public:
  TForm1();
  ~TForm1() override;

  tk::TImage* Image1 = nullptr;
  tk::TImage* Image2 = nullptr;
  tk::TTimer* Timer1 = nullptr;       // 1.2 s with the dot hidden, then shows it and hands over to Timer2
  tk::TTimer* Timer2 = nullptr;       // 1.2 s with the dot shown, then hides it and hands back to Timer1
  tk::TTimer* Timer_hidew = nullptr;  // every 0.2 s while docked: slides the bar out of the way or back
  tk::TTrayIcon* TrayIcon1 = nullptr;
  tk::TPopupMenu* PopupMenu1 = nullptr;
  tk::TMenuItem* N1 = nullptr;
  tk::TMenuItem* N2 = nullptr;
  tk::TMenuItem* N3 = nullptr;
  tk::TLabel* Label1 = nullptr;
  tk::TLabel* Label2 = nullptr;
  tk::TLabel* gold = nullptr;
  tk::TLabel* silver = nullptr;
  tk::TTimer* Timer3 = nullptr;  // once, 20 s after start: opens the portal unless the setting says not to
  std::shared_ptr<tk::TIdHTTP> IdHTTP1;
  tk::TTimer* Timer4 = nullptr;  // every 20 s: refreshes the quotes
  std::unique_ptr<tk::TIdAntiFreeze> IdAntiFreeze1;

  void Timer1Timer(tk::TObject* Sender);
  void Timer2Timer(tk::TObject* Sender);
  void FormCreate(tk::TObject* Sender);
  void Image1MouseDown(tk::TObject* Sender, tk::TMouseButton Button, tk::TShiftState Shift, int X, int Y);
  void Timer_hidewTimer(tk::TObject* Sender);
  void FormShow(tk::TObject* Sender);
  void N2Click(tk::TObject* Sender);
  void Image1DblClick(tk::TObject* Sender);
  void N3Click(tk::TObject* Sender);
  void Timer3Timer(tk::TObject* Sender);
  void Timer4Timer(tk::TObject* Sender);
  void RefreshQuotes();

  TAnchors Anchors() const { return FAnchors; }

 protected:
  void ReadLayout() override;
  const wchar_t* ClassName() const override { return L"TForm1"; }
  DWORD Style() const override { return WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN; }
  bool StayOnTop() const override { return true; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void WMMoving(RECT* proposed);
  void ShowQuoteReply(const std::u16string& reply);
  // Asks the run to end; no quote request holds it up any more.
  void EndRun();

  TAnchors FAnchors = 0;
  int refresh_depth_ = 0;        // refreshes running, the outer ones waiting on the inner
  bool quitting_ = false;        // saved and told to end: no refresh may start any more
  bool closing_ = false;         // a close request is being served
  uint64_t refresh_serial_ = 0;  // counts refreshes started, so an overtaken one knows it
};

extern TForm1* Form1;

// The quote endpoint on the maker's site.
std::string QuoteEndpoint();
