// The toolkit's form, captions, pictures and timers, driven in-process with real messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_application.h"
#include "toolkit/exception.h"
#include "toolkit/form.h"
#include "toolkit/image.h"
#include "toolkit/label.h"
#include "toolkit/memo.h"
#include "toolkit/picture.h"
#include "toolkit/timer.h"
#include "toolkit/tray_icon.h"
#include "toolkit/window_base.h"

using testing_support::PumpUntil;
using testing_support::TestApplication;

namespace {

class PlainForm : public tk::TForm {
 public:
  tk::TLabel* caption = nullptr;
  tk::TImage* lower = nullptr;
  tk::TImage* upper = nullptr;
  std::vector<std::string> events;
  int paints = 0;

  void Build() { Construct(); }
  void ScaleTo(int measured) { ScaleLayout(measured, 13); }

 protected:
  void ReadLayout() override {
    SetClientSize(300, 100);
    lower = AddGraphic<tk::TImage>();
    lower->SetPicture(tk::TPicture::FromResource(L"LINK_MEMO"));  // 92 x 24
    lower->SetBounds(10, 10, 0, 0);
    upper = AddGraphic<tk::TImage>();
    upper->SetPicture(tk::TPicture::FromResource(L"BAR_DOT"));  // 8 x 8, over the lower one
    upper->SetBounds(20, 12, 8, 8);
    caption = AddGraphic<tk::TLabel>(
        std::make_unique<tk::TFont>(L"\u5B8B\u4F53", -15, GB2312_CHARSET, RGB(253, 253, 253)), RGB(0, 0, 0));
    caption->SetBounds(150, 40, 0, 0);
    caption->SetCaption(L"--.--");
    lower->OnClick = [this](tk::TObject*) { events.push_back("lower.click"); };
    lower->OnDblClick = [this](tk::TObject*) { events.push_back("lower.dblclick"); };
    lower->OnMouseDown = [this](tk::TObject*, tk::TMouseButton b, tk::TShiftState s, int x, int y) {
      events.push_back("lower.down." + std::to_string(static_cast<int>(b)) + ((s & tk::ssDouble) ? ".double" : "") +
                       "@" + std::to_string(x) + "," + std::to_string(y));
    };
  }
  const wchar_t* ClassName() const override { return L"TPlainTestForm"; }
  DWORD Style() const override { return WS_POPUP; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_PAINT) ++paints;
    return TForm::WndProc(msg, wp, lp);
  }
};

class FormControls : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    form.Build();
    form.SetBounds(100, 100, form.Width(), form.Height());
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(form.Handle());
  }
  LRESULT Mouse(UINT msg, int x, int y) {
    return SendMessageW(form.Handle(), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
  }
  PlainForm form;
};

TEST_F(FormControls, CaptionSizesItselfFromItsCornerAndIgnoresTheSameText) {
  tk::TLabel* label = form.caption;
  EXPECT_EQ(label->Left(), 150);
  EXPECT_EQ(label->Top(), 40);
  int narrow = label->Width();
  label->SetCaption(L"2345.67\u2192");
  EXPECT_GT(label->Width(), narrow);
  EXPECT_EQ(label->Left(), 150);
  EXPECT_EQ(label->Top(), 40);

  // The same text again: no repaint is asked for.
  UpdateWindow(form.Handle());
  int paints = form.paints;
  label->SetCaption(L"2345.67\u2192");
  UpdateWindow(form.Handle());
  EXPECT_EQ(form.paints, paints);
  label->SetCaption(L"1");
  UpdateWindow(form.Handle());
  EXPECT_GT(form.paints, paints);
}

TEST_F(FormControls, EmptyCaptionMeasuresAsOneBlankAndAmpersandsFollowTheAccessKeyRule) {
  tk::TLabel* label = form.caption;
  label->SetCaption(L" ");
  int blank = label->Width();
  label->SetCaption(L"");
  EXPECT_EQ(label->Width(), blank);
  EXPECT_GT(label->Height(), 0);

  // "&&" shows one "&", and a single "&" is not drawn.
  label->SetCaption(L"&");
  int one_ampersand_shown = 0;
  label->SetCaption(L"&&");
  one_ampersand_shown = label->Width();
  label->SetCaption(L"a&&b");
  int with_double = label->Width();
  label->SetCaption(L"a&b");
  int with_single = label->Width();
  EXPECT_GT(one_ampersand_shown, blank / 2);
  EXPECT_GT(with_double, with_single);
}

TEST_F(FormControls, PressOnTopmostControlAndClickOnlyWhenReleasedOverIt) {
  // (25, 15) lies on both pictures; the later one in the layout takes it, and it has no handlers.
  Mouse(WM_LBUTTONDOWN, 25, 15);
  Mouse(WM_LBUTTONUP, 25, 15);
  EXPECT_TRUE(form.events.empty());

  Mouse(WM_LBUTTONDOWN, 60, 20);
  Mouse(WM_LBUTTONUP, 61, 21);
  ASSERT_EQ(form.events.size(), 2u);
  EXPECT_EQ(form.events[0], "lower.down.0@50,10");
  EXPECT_EQ(form.events[1], "lower.click");

  form.events.clear();
  Mouse(WM_LBUTTONDOWN, 60, 20);
  Mouse(WM_LBUTTONUP, 250, 90);  // released outside
  ASSERT_EQ(form.events.size(), 1u);
  EXPECT_EQ(form.events[0], "lower.down.0@50,10");
}

TEST_F(FormControls, DoubleClickActsOnceAndItsSecondPressIsADoublePress) {
  Mouse(WM_LBUTTONDOWN, 60, 20);
  Mouse(WM_LBUTTONUP, 60, 20);
  Mouse(WM_LBUTTONDBLCLK, 60, 20);
  Mouse(WM_LBUTTONUP, 60, 20);
  std::vector<std::string> expected{"lower.down.0@50,10", "lower.click", "lower.dblclick", "lower.down.0.double@50,10"};
  EXPECT_EQ(form.events, expected);
}

TEST_F(FormControls, RightPressReachesTheHandlerWithItsButtonButMakesNoClick) {
  SendMessageW(form.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(60, 20));
  SendMessageW(form.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(60, 20));
  std::vector<std::string> expected{"lower.down.1@50,10"};
  EXPECT_EQ(form.events, expected);
}

TEST_F(FormControls, OnlyTheLeftButtonDoubleClicks) {
  struct Case {
    UINT down, dblclk, up;
    const char* expected_double_press;
  };
  const Case cases[] = {
      {WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_RBUTTONUP, "lower.down.1.double@50,10"},
      {WM_MBUTTONDOWN, WM_MBUTTONDBLCLK, WM_MBUTTONUP, "lower.down.2.double@50,10"},
  };
  for (const Case& c : cases) {
    form.events.clear();
    for (UINT msg : {c.down, c.up, c.dblclk, c.up}) SendMessageW(form.Handle(), msg, 0, MAKELPARAM(60, 20));
    ASSERT_EQ(form.events.size(), 2u);
    EXPECT_EQ(form.events[1], c.expected_double_press) << "a press, no double click";
  }
}

// Two windowed controls, the later one stacked over the earlier.
class PadForm : public tk::TForm {
 public:
  tk::TMemo* lower = nullptr;
  tk::TMemo* upper = nullptr;
  void Build() { Construct(); }

 protected:
  void ReadLayout() override {
    SetClientSize(200, 100);
    lower = AddWinControl<tk::TMemo>(nullptr, L"lower");
    lower->SetBounds(0, 0, 200, 100);
    upper = AddWinControl<tk::TMemo>(nullptr, L"upper");
    upper->SetBounds(0, 0, 200, 100);
  }
  const wchar_t* ClassName() const override { return L"TPadTestForm"; }
  DWORD Style() const override { return WS_POPUP; }
};

std::vector<HWND> ChildrenTopFirst(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

TEST(WinControl, OneWindowEachStackedInLayoutOrderWhicheverControlAsksFirst) {
  TestApplication();
  for (bool upper_first : {true, false}) {
    PadForm form;
    form.Build();
    // Asking a control for its window before the form has one makes the form's window.
    HWND asked = upper_first ? form.upper->Handle() : form.lower->Handle();
    EXPECT_EQ(asked, upper_first ? form.upper->Handle() : form.lower->Handle()) << "the same window again";
    const std::vector<HWND> expected{form.upper->Handle(), form.lower->Handle()};
    EXPECT_EQ(ChildrenTopFirst(form.Handle()), expected) << (upper_first ? "upper" : "lower") << " asked first";
  }
}

TEST_F(FormControls, HiddenControlLetsThePressThroughToTheOneBelow) {
  form.upper->SetVisible(false);
  Mouse(WM_LBUTTONDOWN, 25, 15);
  Mouse(WM_LBUTTONUP, 25, 15);
  std::vector<std::string> expected{"lower.down.0@15,5", "lower.click"};
  EXPECT_EQ(form.events, expected);
}

// The colours of a picture drawn whole on a memory DC of its own.
std::vector<COLORREF> PicturePixels(const wchar_t* resource, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(dc, bitmap);
  tk::TPicture::FromResource(resource).Draw(dc, 0, 0);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST_F(FormControls, ShowingOrHidingAPictureDrawsItsSquareAtOnceFromThePixelsThatShowThere) {
  const std::vector<COLORREF> lower = PicturePixels(L"LINK_MEMO", 92, 24);
  const std::vector<COLORREF> upper = PicturePixels(L"BAR_DOT", 8, 8);
  HDC dc = GetDC(form.Handle());
  auto square = [dc] {
    std::vector<COLORREF> pixels;
    for (int y = 12; y < 20; ++y)
      for (int x = 20; x < 28; ++x) pixels.push_back(GetPixel(dc, x, y));
    return pixels;
  };
  // The lower picture's own pixels at the upper one's square, which lies at 10, 2 in it.
  std::vector<COLORREF> beneath;
  for (int y = 2; y < 10; ++y)
    for (int x = 10; x < 18; ++x) beneath.push_back(lower[y * 92 + x]);
  ASSERT_NE(beneath, upper);
  UpdateWindow(form.Handle());
  const int paints = form.paints;

  form.upper->SetVisible(false);
  EXPECT_EQ(square(), beneath);
  form.upper->SetVisible(true);
  EXPECT_EQ(square(), upper);
  EXPECT_EQ(form.paints, paints);  // drawn at once, with no paint message
  ReleaseDC(form.Handle(), dc);
}

TEST_F(FormControls, ScalingMultipliesSizesPlacesAndFontsButPicturesKeepTheirPixels) {
  int caption_height = form.caption->Height();
  form.ScaleTo(26);
  EXPECT_EQ(form.ClientWidth(), 600);
  EXPECT_EQ(form.ClientHeight(), 200);
  EXPECT_EQ(form.lower->Left(), 20);
  EXPECT_EQ(form.lower->Top(), 20);
  EXPECT_EQ(form.lower->Width(), 92) << "a picture keeps its own size";
  EXPECT_EQ(form.upper->Left(), 40);
  EXPECT_EQ(form.caption->Left(), 300);
  EXPECT_EQ(form.caption->Top(), 80);
  EXPECT_EQ(form.caption->Font().Height(), -30);
  EXPECT_GT(form.caption->Height(), caption_height * 3 / 2) << "the caption is measured in its scaled font";
}

TEST(Timer, SwitchingOnCountsAfreshAndTheSameStateChangesNothing) {
  TestApplication();
  int ticks = 0;
  tk::TTimer timer(150, false, [&](tk::TObject*) { ++ticks; });
  EXPECT_FALSE(timer.Running());
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Running());
  DWORD start = GetTickCount();
  // Switching on again while on must not restart the count.
  testing_support::PumpFor(100);
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return ticks > 0; }, 2000));
  DWORD first = GetTickCount() - start;
  EXPECT_LT(first, 240u) << "a restart would have delayed the first event to about 250 ms";
  timer.SetEnabled(false);
  int seen = ticks;
  testing_support::PumpFor(400);
  EXPECT_EQ(ticks, seen);
}

// A SetTimer that always refuses (WINAPI, as the real one: stdcall on i686).
UINT_PTR WINAPI RefusingSetTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

TEST(Timer, RefusedTimerRaisesTheMessageAndCountsAsOn) {
  TestApplication();
  auto saved = tk::TTimer::SetTimerCall;
  tk::TTimer::SetTimerCall = RefusingSetTimer;
  tk::TTimer timer(100, false, [](tk::TObject*) {});
  try {
    timer.SetEnabled(true);
    ADD_FAILURE() << "no error raised";
  } catch (const tk::Exception& e) {
    EXPECT_EQ(e.Message(), L"Not enough timers available");
  }
  tk::TTimer::SetTimerCall = saved;
  EXPECT_TRUE(timer.Enabled());
  EXPECT_FALSE(timer.Running());
  // Switching it on again changes nothing: it counts as on already.
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.Running());
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Running());
}

// A shell that refuses the first adds, as one busy at log-on does, and then takes the icon.
struct BusyShell {
  static int refusals_left;
  static int adds;
  static bool shown;
  static BOOL WINAPI Notify(DWORD message, PNOTIFYICONDATAW) {
    if (message == NIM_ADD) {
      ++adds;
      if (refusals_left > 0) {
        --refusals_left;
        return FALSE;
      }
      shown = true;
      return TRUE;
    }
    if (message == NIM_DELETE) shown = false;
    return shown ? TRUE : FALSE;
  }
};
int BusyShell::refusals_left = 0;
int BusyShell::adds = 0;
bool BusyShell::shown = false;

TEST(TrayIcon, RefusedAddIsTriedAgainUntilTheShellTakesTheIconThenNoMore) {
  TestApplication();
  auto saved = tk::TTrayIcon::NotifyCall;
  tk::TTrayIcon::NotifyCall = &BusyShell::Notify;
  BusyShell::refusals_left = 2;
  BusyShell::adds = 0;
  BusyShell::shown = false;
  {
    tk::TTrayIcon icon(tk::UniqueIcon(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION))), L"tip");
    icon.SetVisible(true);
    EXPECT_EQ(BusyShell::adds, 1);
    EXPECT_FALSE(BusyShell::shown);
    // No "TaskbarCreated" comes: the icon must still get there.
    EXPECT_TRUE(PumpUntil([] { return BusyShell::shown; }, 5000)) << "the icon never came after a refused add";
    EXPECT_EQ(BusyShell::adds, 3);
    EXPECT_TRUE(icon.Added());
    testing_support::PumpFor(static_cast<int>(tk::TTrayIcon::kRetryMs) * 2);
    EXPECT_EQ(BusyShell::adds, 3) << "tries go on after the icon was added";
  }
  EXPECT_FALSE(BusyShell::shown) << "the icon leaves with its component";
  tk::TTrayIcon::NotifyCall = saved;
}

TEST(ErrorReport, MessageGetsItsClosingPeriodAndTheTitleIsTheExecutableName) {
  tk::TApplication& app = TestApplication();
  std::wstring reported;
  app.OnException = [&](const std::wstring& text) { reported = text; };
  try {
    throw tk::Exception(L"Unable to write to C:\\x\\GoldCfg.ini");
  } catch (...) {
    app.HandleException();
  }
  EXPECT_EQ(reported, L"Unable to write to C:\\x\\GoldCfg.ini.");
  try {
    throw tk::Exception(L"Connect timed out.");
  } catch (...) {
    app.HandleException();
  }
  EXPECT_EQ(reported, L"Connect timed out.");
  app.OnException = nullptr;
  // The test program is "win_tests.exe".
  EXPECT_EQ(app.Title(), L"win_tests");  // the first character is kept as it is
}

// A bare window of the toolkit, to watch what every window class shares.
class ProbeWindow : public tk::WindowBase {
 public:
  static constexpr UINT kThrow = WM_APP + 7;
  void Make(HWND parent, DWORD style) {
    tk::CreateParams params;
    params.window_class.name = L"TestProbeWindow";
    params.style = style;
    params.width = 10;
    params.height = 10;
    params.parent = parent;
    CreateBoundWindow(params);
  }
  bool saw_nccreate = false;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_NCCREATE) saw_nccreate = true;
    if (msg == kThrow) throw tk::Exception(L"Probe failed");
    return WindowBase::WndProc(msg, wp, lp);
  }
};

TEST(ErrorReport, WindowsAreBoundFromTheirFirstMessageAndReportWhatTheirHandlersThrow) {
  tk::TApplication& app = TestApplication();
  std::wstring reported;
  app.OnException = [&](const std::wstring& text) { reported = text; };
  ProbeWindow probe;
  probe.Make(nullptr, WS_POPUP);
  EXPECT_TRUE(probe.saw_nccreate);
  EXPECT_EQ(SendMessageW(probe.Window(), ProbeWindow::kThrow, 0, 0), 0);
  EXPECT_EQ(reported, L"Probe failed.");
  app.OnException = nullptr;

  // A child of a window that is gone cannot be made: the error names the system's reason.
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(DestroyWindow(gone));
  ProbeWindow orphan;
  try {
    orphan.Make(gone, WS_CHILD);
    ADD_FAILURE() << "no error raised";
  } catch (const tk::Exception& e) {
    const std::wstring reason = tk::SystemErrorText(ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(e.Message(), L"Error creating window. " + reason);
  }
  EXPECT_EQ(orphan.Window(), nullptr);
}

// A window can go without its object: destroyed from outside, or along with its parent or
// owner. The object, and a form's controls, must not keep the dead handle: their destruction
// would destroy whatever window has the handle by then, and a form could never show again.
TEST(WindowBase, AWindowDestroyedFromOutsideLeavesNoHandleBehind) {
  TestApplication();
  ProbeWindow probe;
  probe.Make(nullptr, WS_POPUP);
  ASSERT_TRUE(DestroyWindow(probe.Window()));
  EXPECT_EQ(probe.Window(), nullptr);

  PadForm form;
  form.Build();
  const HWND first = form.Handle();
  const HWND first_pad = form.lower->Handle();
  ASSERT_TRUE(DestroyWindow(first));
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_FALSE(form.lower->HandleAllocated()) << "the pads went with the form's window";
  EXPECT_FALSE(form.upper->HandleAllocated());
  // Asked again, the form is made anew, with new windows for its pads.
  const HWND again = form.Handle();
  EXPECT_TRUE(IsWindow(again));
  EXPECT_NE(form.lower->Handle(), first_pad);
  EXPECT_TRUE(IsWindow(form.lower->Handle()));
  const std::vector<HWND> expected{form.upper->Handle(), form.lower->Handle()};
  EXPECT_EQ(ChildrenTopFirst(again), expected);
}

}  // namespace
