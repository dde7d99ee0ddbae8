#include "app/Unit1.h"

#include <shellapi.h>

#include <vector>

#include "app/Unit2.h"
#include "app/site_hosts.h"
#include "core/docking.h"
#include "core/quote_reply.h"
#include "toolkit/anti_freeze.h"
#include "toolkit/application.h"
#include "toolkit/exception.h"
#include "toolkit/http_client.h"
#include "toolkit/text.h"

using tk::Application;

TForm1* Form1 = nullptr;

namespace {

constexpr tk::TColor kCaptionColor = 16645629;  // #FDFDFD
constexpr tk::TColor kLabelColor = 13408614;    // #6699CC, shown only without visual styles

// At most one refresh waits inside another; a tick beyond that unwinds them instead.
constexpr int kMostRefreshesRunning = 2;

std::unique_ptr<tk::TFont> CaptionFont(int height) {
  return std::make_unique<tk::TFont>(L"宋体", height, GB2312_CHARSET, kCaptionColor);
}

const std::u16string& ItemAt(const std::vector<std::u16string>& items, size_t index) {
  if (index >= items.size()) throw tk::Exception(L"List index out of bounds (" + std::to_wstring(index) + L")");
  return items[index];
}

}  // namespace

std::string QuoteEndpoint() { return std::string("http://") + app::kSiteHostAscii + "/wap/ruanjian/abc.php"; }

TForm1::TForm1() = default;
TForm1::~TForm1() = default;

void TForm1::ReadLayout() {
  Caption = L"Form1";
  Color = tk::clWindow;
  Position = tk::TPosition::poDesktopCenter;
  SetClientSize(286, 31);

  auto bind_bar_events = [this](tk::TControl* control) {
    control->Cursor = tk::TCursor::crSizeAll;
    control->OnDblClick = [this](tk::TObject* s) { Image1DblClick(s); };
    control->OnMouseDown = [this](tk::TObject* s, tk::TMouseButton b, tk::TShiftState sh, int x, int y) {
      Image1MouseDown(s, b, sh, x, y);
    };
  };

  Image1 = AddGraphic<tk::TImage>();
  Image1->SetBounds(0, 0, 286, 31);
  Image1->SetPicture(tk::TPicture::FromResource(L"BAR_BACKGROUND"));
  bind_bar_events(Image1);

  // The dot has no handlers: while lit it takes a press and does nothing with it.
  Image2 = AddGraphic<tk::TImage>();
  Image2->SetBounds(275, 21, 8, 8);
  Image2->SetPicture(tk::TPicture::FromResource(L"BAR_DOT"));
  Image2->Cursor = tk::TCursor::crSizeAll;

  Timer1 = AddComponent<tk::TTimer>(1200, true, [this](tk::TObject* s) { Timer1Timer(s); });
  Timer2 = AddComponent<tk::TTimer>(1200, false, [this](tk::TObject* s) { Timer2Timer(s); });
  Timer_hidew = AddComponent<tk::TTimer>(200, false, [this](tk::TObject* s) { Timer_hidewTimer(s); });

  tk::UniqueIcon tray_picture(
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"TRAYICON", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
  TrayIcon1 = AddComponent<tk::TTrayIcon>(std::move(tray_picture), Application->Title());
  TrayIcon1->OnDblClick = [this](tk::TObject* s) { Image1DblClick(s); };
  PopupMenu1 = AddComponent<tk::TPopupMenu>();
  N3 = PopupMenu1->Add(L"关于我们", [this](tk::TObject* s) { N3Click(s); });
  N1 = PopupMenu1->Add(L"-");
  N2 = PopupMenu1->Add(L"关闭程序", [this](tk::TObject* s) { N2Click(s); });
  TrayIcon1->PopupMenu = PopupMenu1;

  struct CaptionLayout {
    tk::TLabel** member;
    int left, top, font_height;
    const wchar_t* text;
  };
  const CaptionLayout captions[] = {
      {&Label1, 8, 10, -13, L"黄金T+D:  "},
      {&Label2, 132, 10, -13, L"白银T+D:  "},
      {&gold, 62, 8, -15, L"--.--"},
      {&silver, 186, 8, -15, L"--.--"},
  };
  for (const CaptionLayout& c : captions) {
    tk::TLabel* label = AddGraphic<tk::TLabel>(CaptionFont(c.font_height), kLabelColor);
    label->SetBounds(c.left, c.top, 0, 0);
    label->SetCaption(c.text);
    bind_bar_events(label);
    *c.member = label;
  }

  Timer3 = AddComponent<tk::TTimer>(20000, true, [this](tk::TObject* s) { Timer3Timer(s); });
  // The window's own client never sends a request: every refresh replaces it first.
  IdHTTP1 = std::make_shared<tk::TIdHTTP>();
  Timer4 = AddComponent<tk::TTimer>(20000, true, [this](tk::TObject* s) { Timer4Timer(s); });
  // While a request waits, the pump goes through the application, so a quit taken
  // meanwhile takes effect back in the outermost loop.
  IdAntiFreeze1 = std::make_unique<tk::TIdAntiFreeze>();
  IdAntiFreeze1->SetPump([] { Application->ProcessMessages(); });

  OnCreate = [this](tk::TObject* s) { FormCreate(s); };
  OnShow = [this](tk::TObject* s) { FormShow(s); };
}

void TForm1::FormCreate(tk::TObject*) {
  Image2->SetVisible(false);
  TrayIcon1->SetVisible(true);
  // Windows ending the session saves like "关闭程序", but shows nothing that would hold it up.
  Application->OnEndSession = [this] {
    try {
      Form2->SaveState();
    } catch (...) {
    }
  };
}

void TForm1::FormShow(tk::TObject*) {
  // The task-bar button goes away for good; the first figures come before the bar is seen.
  ShowWindow(Application->Handle(), SW_HIDE);
  RefreshQuotes();
}

void TForm1::Timer1Timer(tk::TObject*) {
  Timer1->SetEnabled(false);
  Timer2->SetEnabled(true);
  Image2->SetVisible(true);
}

void TForm1::Timer2Timer(tk::TObject*) {
  Timer2->SetEnabled(false);
  Timer1->SetEnabled(true);
  Image2->SetVisible(false);
}

void TForm1::Timer4Timer(tk::TObject*) { RefreshQuotes(); }

void TForm1::RefreshQuotes() {
  // The run is ending: no request may hold it up.
  if (quitting_) return;
  const std::string address = QuoteEndpoint();
  if (refresh_depth_ >= kMostRefreshesRunning) {
    // Closing the innermost waiting request lets the stack unwind; the next tick starts afresh.
    if (IdHTTP1) IdHTTP1->Disconnect();
    return;
  }
  ++refresh_depth_;
  struct DepthGuard {
    int& depth;
    ~DepthGuard() { --depth; }
  } depth_guard{refresh_depth_};

  try {
    IdHTTP1->Disconnect();
    // Held here too, so a nested refresh that replaces it cannot free it under this request.
    std::shared_ptr<tk::TIdHTTP> client = std::make_shared<tk::TIdHTTP>();
    IdHTTP1 = client;
    const uint64_t serial = ++refresh_serial_;
    std::u16string reply = client->Get(address);
    // A newer refresh started while this one waited: its figures are the newer ones.
    if (serial != refresh_serial_) return;
    ShowQuoteReply(reply);
  } catch (...) {
    IdHTTP1->Disconnect();
  }
}

void TForm1::ShowQuoteReply(const std::u16string& reply) {
  // The bar shows two figures; the rest of a reply, however long, is never split.
  const std::vector<std::u16string> items = core::ParseQuoteReply(reply, 2);
  gold->SetCaption(tk::ToWide(ItemAt(items, 0)));
  silver->SetCaption(tk::ToWide(ItemAt(items, 1)));
}

void TForm1::Image1DblClick(tk::TObject*) { Form2->ShowHomePage(); }

void TForm1::Timer3Timer(tk::TObject*) {
  if (!Form2->CheckBox1->Checked()) Form2->ShowHomePage();
  // Last: a failure above leaves the pop-up to be tried again at the next tick.
  Timer3->SetEnabled(false);
}

void TForm1::N3Click(tk::TObject*) {
  ShellExecuteW(nullptr, L"open", HomePage().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TForm1::N2Click(tk::TObject*) {
  Form2->SaveState();
  EndRun();
}

void TForm1::EndRun() {
  Application->Terminate();
  // Saved and told to end: a request still waiting is closed now rather than awaited, and no
  // refresh starts after this. Every refresh closes the one before it, so only the newest
  // client can still be waiting.
  quitting_ = true;
  if (IdHTTP1) IdHTTP1->Disconnect();
}

void TForm1::Image1MouseDown(tk::TObject*, tk::TMouseButton Button, tk::TShiftState, int, int) {
  if (Button != tk::TMouseButton::mbLeft) return;
  ReleaseCapture();
  // What a press on a title bar produces: the platform moves the window until the release.
  Perform(WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void TForm1::WMMoving(RECT* proposed) {
  core::Rect r{proposed->left, proposed->top, proposed->right, proposed->bottom};
  FAnchors = core::ClampMovingRect(r, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), Width(), Height());
  *proposed = RECT{r.left, r.top, r.right, r.bottom};
  Timer_hidew->SetEnabled(FAnchors != 0);
}

void TForm1::Timer_hidewTimer(tk::TObject*) {
  POINT cursor{0, 0};
  if (!GetCursorPos(&cursor)) cursor = POINT{0, 0};
  core::Point now{Left(), Top()};
  // Only a cursor inside the bar's rectangle can be over it; asking which window shows at the
  // point is a round trip to the window server, which most ticks can do without.
  const RECT bar{now.x, now.y, now.x + Width(), now.y + Height()};
  const bool over = PtInRect(&bar, cursor) && WindowFromPoint(cursor) == Handle();
  // The screen's width places a bar docked right only, its height one docked bottom. Reading
  // them is not free (under Wine about a quarter of an idle tick), so each is read only when used.
  core::Point next =
      core::SlidePosition(FAnchors, over, (FAnchors & core::akRight) ? GetSystemMetrics(SM_CXSCREEN) : 0,
                          (FAnchors & core::akBottom) ? GetSystemMetrics(SM_CYSCREEN) : 0, Width(), Height(), now);
  if (next.x != now.x || next.y != now.y) {
    SetWindowPos(Handle(), nullptr, next.x, next.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

LRESULT TForm1::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    // Every orderly end keeps the setting and the notes, as "关闭程序" does. Unlike that command,
    // a close request ends the run whatever failed: the one who asked (the user at Alt+F4, Task
    // Manager, an installer) would otherwise find the program still there. The report comes
    // first; the notes that could not be kept beside the program are in the temporary folder.
    // A request that comes while the report is up is the same request.
    if (closing_) return 0;
    closing_ = true;
    try {
      Form2->SaveState();
    } catch (...) {
      tk::ReportException();
    }
    EndRun();
    return 0;
  }
  if (msg == WM_MOVING) {
    LRESULT result = DefaultHandler(msg, wp, lp);
    WMMoving(reinterpret_cast<RECT*>(lp));
    return result;
  }
  return TForm::WndProc(msg, wp, lp);
}
