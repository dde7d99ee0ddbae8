// The bar window in-process: docking by WM_MOVING, sliding with the cursor, and the quote
// refresh against a loopback server on the port the test build asks.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "toolkit/http_client.h"
#include "program_windows.h"
#include "quote_server.h"
#include "test_application.h"

using testing_support::ConnectionScript;
using testing_support::PumpUntil;
using testing_support::QuoteReply;
using testing_support::QuoteServer;
using testing_support::TestApplication;

namespace {

class BarWindow : public testing_support::ProgramWindows {
 protected:
  RECT Moving(RECT proposed) {
    SendMessageW(Form1->Handle(), WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&proposed));
    return proposed;
  }
  void ShowBarAt(int left, int top) {
    SetWindowPos(Form1->Handle(), HWND_TOPMOST, left, top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  RECT BarRect() {
    RECT r;
    GetWindowRect(Form1->Handle(), &r);
    return r;
  }
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(BarWindow, MovingRectangleIsHeldOnScreenAndDocksAtTheEdgesItTouches) {
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  struct Case {
    RECT proposed, expected;
    TAnchors anchors;
  };
  const Case cases[] = {
      {{-40, 500, 246, 531}, {0, 500, 286, 531}, 1},
      {{1700, 500, 1986, 531}, {1634, 500, 1920, 531}, 4},
      {{800, -10, 1086, 21}, {800, 0, 1086, 31}, 2},
      {{800, 1060, 1086, 1091}, {800, 1049, 1086, 1080}, 8},
      {{1, 500, 287, 531}, {1, 500, 287, 531}, 0},
      {{1633, 500, 1919, 531}, {1633, 500, 1919, 531}, 0},
      {{-3000, -3000, -2714, -2969}, {0, 0, 286, 31}, 1 | 2},
      {{1700, 1070, 1986, 1101}, {1634, 1049, 1920, 1080}, 4 | 8},
      {{800, 500, 1086, 531}, {800, 500, 1086, 531}, 0},
  };
  for (const Case& c : cases) {
    RECT edited = Moving(c.proposed);
    EXPECT_TRUE(SameRect(edited, c.expected)) << c.proposed.left << "," << c.proposed.top << " became " << edited.left
                                              << "," << edited.top << "," << edited.right << "," << edited.bottom;
    EXPECT_EQ(Form1->Anchors(), c.anchors);
    EXPECT_EQ(Form1->Timer_hidew->Enabled(), c.anchors != 0);
  }
}

TEST_F(BarWindow, DockedBarSlidesOutToTwoPixelsAndBackWithTheCursor) {
  ShowBarAt(0, 500);
  Moving({-40, 500, 246, 531});
  SetCursorPos(960, 900);
  ASSERT_TRUE(PumpUntil([&] { return BarRect().left == -284; }, 700)) << "left " << BarRect().left;
  EXPECT_EQ(BarRect().top, 500);
  // Onto the strip that stays on screen: the bar comes back in.
  SetCursorPos(1, 510);
  ASSERT_TRUE(PumpUntil([&] { return BarRect().left == 0; }, 700)) << "left " << BarRect().left;
  EXPECT_EQ(BarRect().top, 500);

  // Dragged away from every edge: undocked, and the timer stops.
  Moving({800, 500, 1086, 531});
  EXPECT_FALSE(Form1->Timer_hidew->Enabled());
}

TEST_F(BarWindow, BarDockedInTheTopLeftCornerHidesToATwoPixelSquare) {
  ShowBarAt(0, 0);
  Moving({-5, -5, 281, 26});
  EXPECT_EQ(Form1->Anchors(), 1 | 2);
  SetCursorPos(960, 900);
  ASSERT_TRUE(PumpUntil([&] { return BarRect().left == -284 && BarRect().top == -29; }, 700))
      << BarRect().left << "," << BarRect().top;
  SetCursorPos(0, 0);
  ASSERT_TRUE(PumpUntil([&] { return BarRect().left == 0 && BarRect().top == 0; }, 700));
}

TEST_F(BarWindow, RefreshPutsBothFiguresWithArrowsOnTheLabels) {
  QuoteServer server;
  server.Push({QuoteReply("2345.67R|5678.90U\r\n"), 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"2345.67\u2192");
  EXPECT_EQ(Form1->silver->Caption(), L"5678.90\u2191");
  EXPECT_EQ(reports, L"");
}

TEST_F(BarWindow, FailedRefreshLeavesTheFiguresQuietly) {
  // Nobody listens on the port: the connect is refused.
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"--.--");
  EXPECT_EQ(Form1->silver->Caption(), L"--.--");
  // A reply with one item sets gold only.
  QuoteServer server;
  server.Push({QuoteReply("1.5"), 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"1.5");
  EXPECT_EQ(Form1->silver->Caption(), L"--.--");
  // Bodies that the server's close cuts short of their length are no replies at all.
  server.Push({"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n1|2\r\n", 0, "", true});
  Form1->RefreshQuotes();
  server.Push({"HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n2345.67R|56", 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(server.Connections(), 3);
  EXPECT_EQ(Form1->gold->Caption(), L"1.5");
  EXPECT_EQ(Form1->silver->Caption(), L"--.--");
  // Replies as CDNs send them: an early-hints reply first, a chunk extension.
  server.Push({"HTTP/1.1 103 Early Hints\r\nLink: </q.css>; rel=preload\r\n\r\n" + QuoteReply("2.5|3.5"), 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"2.5");
  EXPECT_EQ(Form1->silver->Caption(), L"3.5");
  server.Push({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=value\r\n4.5|6\r\n0\r\n\r\n", 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"4.5");
  EXPECT_EQ(Form1->silver->Caption(), L"6");
  // Chunk data that runs past its size, and a switch to another protocol, are no replies.
  server.Push({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n1|23\r\n0\r\n\r\n", 0, "", true});
  Form1->RefreshQuotes();
  server.Push({"HTTP/1.1 101 Switching Protocols\r\nUpgrade: quotes\r\n\r\n" + QuoteReply("7|8"), 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(server.Connections(), 7);
  EXPECT_EQ(Form1->gold->Caption(), L"4.5");
  EXPECT_EQ(Form1->silver->Caption(), L"6");
  EXPECT_EQ(reports, L"");
}

int g_nested_calls = 0;
int g_nested_limit = 0;
void CALLBACK NestedRefresh(HWND, UINT, UINT_PTR, DWORD) {
  if (g_nested_calls >= g_nested_limit) return;
  ++g_nested_calls;
  Form1->RefreshQuotes();
}

TEST_F(BarWindow, RefreshOvertakenByANewerOneKeepsTheNewerFigures) {
  QuoteServer server;
  // The first reply stops in the middle of its body; the nested refresh then closes it.
  server.Push({"HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nold|old", 3000, "", false});
  server.Push({QuoteReply("new|new2"), 0, "", true});
  g_nested_calls = 0;
  g_nested_limit = 1;
  UINT_PTR timer = SetTimer(nullptr, 0, 400, &NestedRefresh);
  Form1->RefreshQuotes();
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_nested_calls, 1);
  EXPECT_EQ(Form1->gold->Caption(), L"new");
  EXPECT_EQ(Form1->silver->Caption(), L"new2");
}

TEST_F(BarWindow, RefreshesNestAtMostOneDeepAgainstAServerThatNeverAnswers) {
  QuoteServer server;
  for (int i = 0; i < 8; ++i) server.Push({"", 0, "", false});
  g_nested_calls = 0;
  g_nested_limit = 6;
  UINT_PTR timer = SetTimer(nullptr, 0, 200, &NestedRefresh);
  DWORD start = GetTickCount();
  Form1->RefreshQuotes();
  DWORD took = GetTickCount() - start;
  KillTimer(nullptr, timer);
  // The second tick finds two requests waiting and closes the inner one instead of nesting
  // deeper, so the stack unwinds though the ticks go on (unbounded, it would wait for ever).
  EXPECT_EQ(g_nested_calls, 2);
  EXPECT_LT(took, 2000u);
  EXPECT_LE(server.MostOpenAtOnce(), 2);
  EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, 2000));
  EXPECT_EQ(Form1->gold->Caption(), L"--.--");
}

TEST_F(BarWindow, FiguresComeBackOnTheFirstRefreshAfterAHungServerRecovers) {
  QuoteServer server;
  // Two hung requests, one inside the other; the next tick unwinds them.
  for (int i = 0; i < 2; ++i) server.Push({"", 0, "", false});
  g_nested_calls = 0;
  g_nested_limit = 2;
  UINT_PTR timer = SetTimer(nullptr, 0, 200, &NestedRefresh);
  Form1->RefreshQuotes();
  KillTimer(nullptr, timer);
  EXPECT_EQ(server.Connections(), 2);
  server.Push({QuoteReply("9.99D|8.88R"), 0, "", true});
  Form1->RefreshQuotes();
  EXPECT_EQ(Form1->gold->Caption(), L"9.99\u2193");
  EXPECT_EQ(Form1->silver->Caption(), L"8.88\u2192");
}

}  // namespace
