#pragma once
// TForm1: the always-on-top quote bar, the main form.
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/form.h"
#include "toolkit/image.h"
#include "toolkit/label.h"
#include "toolkit/timer.h"

namespace tk {
class TIdHTTP;
class TIdAntiFreeze;
}  // namespace tk

// The screen edges the bar is docked to, as bits (akLeft 1, akTop 2, akRight 4, akBottom 8).
using TAnchors = uint8_t;

class TForm1 : public tk::TForm {
 public:
  TForm1();
  ~TForm1() override;

  tk::TImage* Image1 = nullptr;
  tk::TImage* Image2 = nullptr;
  tk::TTimer* Timer1 = nullptr;
  tk::TTimer* Timer2 = nullptr;
  tk::TTimer* Timer_hidew = nullptr;
  tk::TLabel* Label1 = nullptr;
  tk::TLabel* Label2 = nullptr;
  tk::TLabel* gold = nullptr;
  tk::TLabel* silver = nullptr;
  std::shared_ptr<tk::TIdHTTP> IdHTTP1;
  tk::TTimer* Timer4 = nullptr;
  tk::TIdAntiFreeze* IdAntiFreeze1 = nullptr;

  void Timer1Timer(tk::TObject* Sender);
  void Timer2Timer(tk::TObject* Sender);
  void FormCreate(tk::TObject* Sender);
  void Image1MouseDown(tk::TObject* Sender, tk::TMouseButton Button, tk::TShiftState Shift, int X, int Y);
  void Timer_hidewTimer(tk::TObject* Sender);
  void FormShow(tk::TObject* Sender);
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

  TAnchors FAnchors = 0;
  int refresh_depth_ = 0;          // refreshes running, the outer ones waiting on the inner
  uint64_t refresh_serial_ = 0;    // counts refreshes started, so an overtaken one knows it
};

extern TForm1* Form1;

// The quote endpoint on the maker's site.
std::string QuoteEndpoint();
