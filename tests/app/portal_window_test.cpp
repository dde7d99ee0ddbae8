// The portal window in-process: its layout, showing and hiding, the picture links with the
// browser's requests seen by loopback servers, and the notes pad.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "program_windows.h"
#include "quote_server.h"
#include "test_application.h"
#include "toolkit/program_files.h"

using testing_support::ConnectionScript;
using testing_support::PumpUntil;
using testing_support::QuoteServer;
using testing_support::TestApplication;

namespace {

const ConnectionScript kPage{"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\n\r\n<html></html>", 0,
                             "", true};

class Portal : public testing_support::ProgramWindows {
 protected:
  RECT ClientRectOf(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, Form2->Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  RECT WindowRect() {
    RECT r;
    GetWindowRect(Form2->Handle(), &r);
    return r;
  }
  void Click(tk::TControl* picture, int dx = 10, int dy = 10) {
    LPARAM at = MAKELPARAM(picture->Left() + dx, picture->Top() + dy);
    SendMessageW(Form2->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Form2->Handle(), WM_LBUTTONUP, 0, at);
  }
  static bool Saw(QuoteServer& server, const std::string& line) {
    auto lines = server.RequestLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(Portal, IsCreatedHiddenWithTheLayoutsPlacesAndNoTaskBarButton) {
  HWND hwnd = Form2->Handle();
  EXPECT_FALSE(IsWindowVisible(hwnd));
  wchar_t caption[64];
  GetWindowTextW(hwnd, caption, 64);
  EXPECT_STREQ(caption, L"Torvane V5.0");
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 950);
  EXPECT_EQ(client.bottom, 592);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), TestApplication().Handle());
  EXPECT_FALSE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  EXPECT_TRUE((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX) && (style & WS_MAXIMIZEBOX) && (style & WS_THICKFRAME));
  // The title bar shows the application's icon: the window's class carries it.
  const ULONG_PTR app_icon = GetClassLongPtrW(TestApplication().Handle(), GCLP_HICON);
  EXPECT_NE(app_icon, 0u);
  EXPECT_EQ(GetClassLongPtrW(hwnd, GCLP_HICON), app_icon);
  EXPECT_NE(GetClassLongPtrW(hwnd, GCLP_HICONSM), 0u);

  RECT browser = ClientRectOf(Form2->WebBrowser1->Handle());
  EXPECT_EQ(browser.left, 0);
  EXPECT_EQ(browser.top, 48);
  EXPECT_EQ(browser.right, 953);
  EXPECT_EQ(browser.bottom, 593);
  RECT box = ClientRectOf(Form2->CheckBox1->Handle());
  EXPECT_EQ(box.left, 42);
  EXPECT_EQ(box.top, 30);
  EXPECT_EQ(box.right - box.left, 119);
  EXPECT_EQ(box.bottom - box.top, 17);
  EXPECT_FALSE(IsWindowVisible(Form2->Memo1->Handle()));
  RECT pad = ClientRectOf(Form2->Memo1->Handle());
  EXPECT_EQ(pad.right, 953);
  EXPECT_EQ(pad.bottom, 593);

  // The check box lies over the first link picture where the two overlap.
  POINT overlap{158, 35};
  EXPECT_EQ(ChildWindowFromPointEx(hwnd, overlap, CWP_SKIPINVISIBLE), Form2->CheckBox1->Handle());
  EXPECT_EQ(Form2->GoldWeb->Left(), 156);
  EXPECT_EQ(Form2->memo->Top(), 17);
  EXPECT_EQ(Form2->BbsWeb->Left(), 842);
  EXPECT_EQ(Form2->GPriceWeb->Width(), 93);
}

TEST_F(Portal, NeitherTheBarsFirstShowNorThePortalEverBringsATaskBarButton) {
  HWND app = TestApplication().Handle();
  Form1->SetVisible(true);  // the first show: the quote host is not listening here
  EXPECT_TRUE(IsWindowVisible(Form1->Handle()));
  EXPECT_FALSE(IsWindowVisible(app));
  for (int i = 0; i < 3; ++i) {
    Form2->Show();
    EXPECT_FALSE(IsWindowVisible(app));
    Form2->Hide();
    EXPECT_FALSE(IsWindowVisible(app));
  }
  EXPECT_FALSE(GetWindowLongPtrW(Form1->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(GetWindowLongPtrW(app, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(Portal, FirstShowCentresAndMinimiseOrCloseOnlyHide) {
  Form2->Show();
  ASSERT_TRUE(IsWindowVisible(Form2->Handle()));
  RECT shown = WindowRect();
  int width = shown.right - shown.left, height = shown.bottom - shown.top;
  EXPECT_EQ(shown.left, 960 - width / 2);
  EXPECT_EQ(shown.top, 540 - height / 2);

  SendMessageW(Form2->Handle(), WM_SYSCOMMAND, SC_MINIMIZE | 0x0002, 0);
  EXPECT_FALSE(IsWindowVisible(Form2->Handle()));
  EXPECT_FALSE(IsIconic(Form2->Handle()));

  SetWindowPos(Form2->Handle(), nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Form2->Show();
  EXPECT_TRUE(IsWindowVisible(Form2->Handle()));
  EXPECT_EQ(WindowRect().left, 100) << "a later show keeps the window where it was";
  EXPECT_EQ(WindowRect().top, 80);

  SendMessageW(Form2->Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(Form2->Handle()));
  EXPECT_TRUE(IsWindow(Form2->Handle()));

  // Maximised when hidden: maximised again when shown.
  Form2->Show();
  ShowWindow(Form2->Handle(), SW_MAXIMIZE);
  SendMessageW(Form2->Handle(), WM_CLOSE, 0, 0);
  Form2->Show();
  EXPECT_TRUE(IsZoomed(Form2->Handle()));
  EXPECT_EQ(reports, L"");
}

TEST_F(Portal, ResizingKeepsTheBrowserAndThePadOverhangingByTheSameAmount) {
  Form2->Show();
  SetWindowPos(Form2->Handle(), nullptr, 0, 0, 1200, 800, SWP_NOMOVE | SWP_NOZORDER);
  RECT client;
  GetClientRect(Form2->Handle(), &client);
  for (HWND child : {Form2->WebBrowser1->Handle(), Form2->Memo1->Handle()}) {
    RECT r = ClientRectOf(child);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 48);
    EXPECT_EQ(r.right, client.right + 3);
    EXPECT_EQ(r.bottom, client.bottom + 1);
  }
}

TEST_F(Portal, WebLinksHideThePadAndOpenTheirAddresses) {
  QuoteServer site(18631), forum(18632);
  for (int i = 0; i < 20; ++i) {
    site.Push(kPage);
    forum.Push(kPage);
  }
  Form2->Show();
  struct Link {
    tk::TImage* picture;
    QuoteServer* server;
    const char* line;
  };
  const Link links[] = {
      {Form2->GPriceWeb, &site, "GET /html/hjjg.html HTTP/1.1"},
      {Form2->SPriceWeb, &site, "GET /html/byjg.html HTTP/1.1"},
      {Form2->ToolWeb, &site, "GET /html/hangqing/ HTTP/1.1"},
      {Form2->ChargeWeb, &site, "GET /html/sffw.html HTTP/1.1"},
      {Form2->OpenWeb, &site, "GET /html/hjkh.html HTTP/1.1"},
      {Form2->BbsWeb, &forum, "GET / HTTP/1.1"},
      {Form2->GoldWeb, &site, "GET / HTTP/1.1"},
  };
  for (const Link& link : links) {
    Click(Form2->memo);
    EXPECT_TRUE(Form2->Memo1->Visible());
    EXPECT_TRUE(IsWindowVisible(Form2->Memo1->Handle()));
    Click(link.picture);
    EXPECT_FALSE(IsWindowVisible(Form2->Memo1->Handle())) << link.line;
    EXPECT_TRUE(PumpUntil([&] { return Saw(*link.server, link.line); }, 10000)) << link.line;
  }
  EXPECT_EQ(reports, L"");
}

TEST_F(Portal, ReleaseOutsideOpensNothingAndADoubleClickOpensOnce) {
  QuoteServer site(18631);
  for (int i = 0; i < 10; ++i) site.Push(kPage);
  Form2->Show();
  LPARAM on = MAKELPARAM(Form2->SPriceWeb->Left() + 5, 25), off = MAKELPARAM(600, 300);
  SendMessageW(Form2->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, on);
  SendMessageW(Form2->Handle(), WM_LBUTTONUP, 0, off);
  testing_support::PumpFor(1500);
  EXPECT_TRUE(site.RequestLines().empty());

  SendMessageW(Form2->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, on);
  SendMessageW(Form2->Handle(), WM_LBUTTONUP, 0, on);
  SendMessageW(Form2->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, on);
  SendMessageW(Form2->Handle(), WM_LBUTTONUP, 0, on);
  ASSERT_TRUE(PumpUntil([&] { return !site.RequestLines().empty(); }, 10000));
  testing_support::PumpFor(1500);
  EXPECT_EQ(site.RequestLines().size(), 1u);
}

TEST_F(Portal, PadStartsWithItsSixLinesAndKeepsTypedTextThroughLinksAndHiding) {
  std::wstring initial = Form2->Memo1->Text();
  EXPECT_EQ(initial.rfind(L"\r\n\u5982\u679C", 0), 0u) << "line 1 is empty, line 2 starts with 如果";
  EXPECT_NE(initial.find(L"\uFF0C"), std::wstring::npos);
  EXPECT_NE(initial.find(L"\uFF1Ahttp://127.0.0.1:18631/"), std::wstring::npos) << "the address follows the colon";
  EXPECT_EQ(initial.substr(initial.size() - 37), std::wstring(35, L'=') + L"\r\n");
  int breaks = 0;
  for (size_t at = initial.find(L"\r\n"); at != std::wstring::npos; at = initial.find(L"\r\n", at + 2)) ++breaks;
  EXPECT_EQ(breaks, 6);

  Form2->Show();
  Click(Form2->memo);
  SetFocus(Form2->Memo1->Handle());
  for (wchar_t c : std::wstring(L"buy 2300")) SendMessageW(Form2->Memo1->Handle(), WM_CHAR, c, 0);
  std::wstring typed = Form2->Memo1->Text();
  EXPECT_NE(typed.find(L"buy 2300"), std::wstring::npos);

  QuoteServer site(18631);
  site.Push(kPage);
  Click(Form2->ToolWeb);
  EXPECT_NE(GetFocus(), Form2->Memo1->Handle()) << "the focus left the hidden pad";
  EXPECT_EQ(GetFocus(), Form2->Handle());
  SendMessageW(Form2->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Form2->Show();
  Click(Form2->memo);
  EXPECT_TRUE(IsWindowVisible(Form2->Memo1->Handle()));
  EXPECT_EQ(Form2->Memo1->Text(), typed);
}

// The program directory itself is checked against the system in the toolkit's tests.
TEST(ProgramFiles, SettingsAndNotesLieNextToTheRunningProgram) {
  const std::wstring folder = tk::ProgramDirectory();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(SettingsPath(), folder + L"GoldCfg.ini");
  EXPECT_EQ(NotesPath(), folder + L"qorla.txt");
}

}  // namespace
