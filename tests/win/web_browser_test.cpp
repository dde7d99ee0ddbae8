// The embedded web browser in a plain test window: where its area lies, that it follows the
// window's size and visibility, that each navigation reaches the address's server, and that
// nothing of it is left behind. No page ever renders here (the HTML engine is absent), so
// navigation is observed on a loopback HTTP server of the test's own.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/exception.h"
#include "toolkit/web_browser.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRequestWait = std::chrono::seconds(10);

// Dispatches every message waiting for this thread, as the application's pump would.
void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Pumps messages until `done` holds or `limit` has passed; returns whether it held.
template <typename Predicate>
bool PumpUntil(Predicate done, Clock::duration limit = kRequestWait) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    PumpMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

// An HTTP server on 127.0.0.1 that records the request line of every request and answers
// each with a small page. While held, it keeps its answers back until released.
class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    Release();
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }

  int Port() const { return port_; }
  std::wstring Origin() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

  std::vector<std::string> RequestLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_lines_;
  }
  size_t RequestCount() const { return RequestLines().size(); }
  size_t AnswerCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
  }

  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_ = false;
    }
    released_.notify_all();
  }

 private:
  void Serve() {
    for (;;) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      DWORD read_limit_ms = 5000;  // a request that never completes must not stall the test
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&read_limit_ms), sizeof read_limit_ms);
      std::string request = ReadHead(client);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        request_lines_.push_back(request.substr(0, request.find("\r\n")));
        released_.wait_for(lock, std::chrono::seconds(15), [this] { return !held_; });
      }
      static const char kAnswer[] =
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 26\r\nConnection: close\r\n\r\n"
          "<html><p>quotes</p></html>";
      send(client, kAnswer, sizeof kAnswer - 1, 0);
      shutdown(client, SD_SEND);
      closesocket(client);
      std::lock_guard<std::mutex> lock(mutex_);
      ++answers_;
    }
  }

  static std::string ReadHead(SOCKET client) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
      int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      head.append(buffer, got);
    }
    return head;
  }

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::string> request_lines_;
  size_t answers_ = 0;
  bool held_ = false;
};

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd, msg, wp, lp); }

// The browser area of the portal's layout: below the 48-pixel banner, 953 x 545, reaching
// past the right and bottom edges of the 950 x 592 client area.
constexpr RECT kLayoutArea{0, 48, 953, 593};

RECT RectInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

// All windows below `parent`, at any depth.
int ChildWindowCount(HWND parent) {
  int count = 0;
  EnumChildWindows(parent, CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

void SetBoundsRect(tk::TWebBrowser& browser, const RECT& rect) {
  browser.SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ole_ready_ = true;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = TestWindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = L"WebBrowserTestWindow";
    RegisterClassW(&window_class);
    // A frameless window with the portal's client size. (Under Xvfb, with no window manager,
    // Wine waits two seconds whenever a shown framed window goes away.)
    parent_ = CreateWindowExW(0, window_class.lpszClassName, L"Browser host", WS_POPUP | WS_CLIPCHILDREN, 40, 40, 950,
                              592, nullptr, nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    if (parent_) DestroyWindow(parent_);
    PumpMessages();
    if (ole_ready_) OleUninitialize();
  }

  void ShowParent() {
    ShowWindow(parent_, SW_SHOWNOACTIVATE);
    UpdateWindow(parent_);
  }

  // A browser activated in the layout's area of the shown window. It belongs to no form:
  // the test window stands in for the portal.
  std::unique_ptr<tk::TWebBrowser> ShownBrowser() {
    ShowParent();
    auto browser = std::make_unique<tk::TWebBrowser>(nullptr);
    SetBoundsRect(*browser, kLayoutArea);
    browser->CreateWindowIn(parent_);
    return browser;
  }

  HWND parent_ = nullptr;
  bool ole_ready_ = false;
};

void ExpectRect(const RECT& expected, const RECT& actual) {
  EXPECT_EQ(expected.left, actual.left);
  EXPECT_EQ(expected.top, actual.top);
  EXPECT_EQ(expected.right, actual.right);
  EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST_F(WebBrowserTest, ActivatesAsChildWindowInItsRectangleAndFollowsNewBounds) {
  auto browser = ShownBrowser();
  HWND area = browser->ControlWindow();
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(IsWindow(area));
  EXPECT_EQ(GetParent(area), parent_);
  EXPECT_NE(GetWindowLongW(area, GWL_STYLE) & WS_CHILD, 0);
  EXPECT_TRUE(IsWindowVisible(area));
  ExpectRect(kLayoutArea, RectInParent(area));

  // The window grown (maximised, say) and shrunk again: the area keeps its left, its top
  // and its overhangs.
  const RECT grown{0, 48, 1283, 893};
  SetBoundsRect(*browser, grown);
  ExpectRect(grown, RectInParent(area));
  const RECT shrunk{0, 48, 403, 249};
  SetBoundsRect(*browser, shrunk);
  ExpectRect(shrunk, RectInParent(area));
  // Resizing keeps the same window, and so whatever it shows.
  EXPECT_EQ(browser->ControlWindow(), area);
}

TEST_F(WebBrowserTest, ActivatedInAHiddenWindowAppearsWhenTheWindowIsShown) {
  tk::TWebBrowser browser(nullptr);
  SetBoundsRect(browser, kLayoutArea);
  HWND area = browser.CreateWindowIn(parent_);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(browser.ControlWindow(), area);
  EXPECT_FALSE(IsWindowVisible(area));
  ShowParent();
  EXPECT_TRUE(IsWindowVisible(area));
  ExpectRect(kLayoutArea, RectInParent(area));
  // Asked again, it keeps the window it has.
  EXPECT_EQ(browser.CreateWindowIn(parent_), area);
}

TEST_F(WebBrowserTest, HidesAndShowsItsAreaWithoutLosingIt) {
  auto browser = ShownBrowser();
  HWND area = browser->ControlWindow();
  browser->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(area));
  EXPECT_TRUE(IsWindow(area));
  // A resize while hidden moves the area but does not bring it back.
  const RECT moved{0, 48, 603, 393};
  SetBoundsRect(*browser, moved);
  EXPECT_FALSE(IsWindowVisible(area));
  ExpectRect(moved, RectInParent(area));
  SetBoundsRect(*browser, kLayoutArea);
  browser->SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(area));
  EXPECT_EQ(browser->ControlWindow(), area);
  ExpectRect(kLayoutArea, RectInParent(area));
}

TEST_F(WebBrowserTest, HiddenBeforeActivationStaysHiddenUntilShown) {
  ShowParent();
  tk::TWebBrowser browser(nullptr);
  SetBoundsRect(browser, kLayoutArea);
  browser.SetVisible(false);
  HWND area = browser.CreateWindowIn(parent_);
  ASSERT_NE(area, nullptr);
  EXPECT_FALSE(IsWindowVisible(area));
  browser.SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(area));
  ExpectRect(kLayoutArea, RectInParent(area));
}

TEST_F(WebBrowserTest, NavigateReturnsAtOnceAndRequestsTheAddressPath) {
  LoopbackServer server;
  ASSERT_NE(server.Port(), 0);
  auto browser = ShownBrowser();

  // The server keeps its answer back: a navigation that waited for the page would hang here.
  server.Hold();
  const auto started = Clock::now();
  browser->Navigate(server.Origin() + L"/some/path");
  const auto took = Clock::now() - started;
  EXPECT_LT(took, std::chrono::seconds(2));
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() >= 1; })) << "no request reached the server";
  EXPECT_EQ(server.AnswerCount(), 0u);
  server.Release();
  EXPECT_EQ(server.RequestLines().at(0), "GET /some/path HTTP/1.1");
}

TEST_F(WebBrowserTest, NavigatingToTheSameAddressAgainRequestsItAgain) {
  LoopbackServer server;
  ASSERT_NE(server.Port(), 0);
  auto browser = ShownBrowser();
  const std::wstring address = server.Origin() + L"/html/notice.html";

  browser->Navigate(address);
  ASSERT_TRUE(PumpUntil([&] { return server.AnswerCount() >= 1; })) << "first navigation never arrived";
  browser->Navigate(address);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() >= 2; })) << "second navigation never arrived";

  const auto lines = server.RequestLines();
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines.at(0), "GET /html/notice.html HTTP/1.1");
  EXPECT_EQ(lines.at(1), "GET /html/notice.html HTTP/1.1");
}

TEST_F(WebBrowserTest, AddressWithoutPathRequestsTheRoot) {
  LoopbackServer server;
  ASSERT_NE(server.Port(), 0);
  auto browser = ShownBrowser();
  browser->Navigate(server.Origin());
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() >= 1; })) << "no request reached the server";
  EXPECT_EQ(server.RequestLines().at(0), "GET / HTTP/1.1");
}

TEST_F(WebBrowserTest, DestructionLeavesNoWindowBehind) {
  LoopbackServer server;
  ASSERT_NE(server.Port(), 0);
  auto browser = ShownBrowser();
  browser->Navigate(server.Origin() + L"/gold");
  ASSERT_TRUE(PumpUntil([&] { return server.AnswerCount() >= 1; }));
  HWND area = browser->ControlWindow();
  ASSERT_TRUE(IsWindow(area));
  ASSERT_GT(ChildWindowCount(parent_), 0);

  browser.reset();
  PumpMessages();
  EXPECT_FALSE(IsWindow(area));
  EXPECT_EQ(ChildWindowCount(parent_), 0);
}

TEST(WebBrowserCreation, FailureRaisesTheSystemsTextForTheCode) {
  // A thread that never joined COM cannot create the control.
  std::wstring message;
  bool thrown = false;
  HRESULT apartment = S_OK;
  std::thread([&] {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    apartment = CoGetApartmentType(&type, &qualifier);
    try {
      tk::TWebBrowser browser(nullptr);
    } catch (const tk::Exception& e) {
      thrown = true;
      message = e.Message();
    }
  }).join();
  if (apartment != CO_E_NOTINITIALIZED) GTEST_SKIP() << "the process has a multithreaded apartment";
  EXPECT_TRUE(thrown);
  EXPECT_EQ(message, tk::OleErrorMessage(CO_E_NOTINITIALIZED));
  EXPECT_FALSE(message.empty());
}

// The system's text for a code, as the system gives it, without its line break.
std::wstring SystemText(HRESULT code) {
  wchar_t buffer[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, buffer, 512, nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text;
}

TEST(WebBrowserErrorMessage, PrefersTheControlsDescriptionThenTheSystemsTextThenTheCode) {
  // A description given with the failure is the whole message.
  EXPECT_EQ(tk::OleErrorMessage(E_FAIL, L"The address is not valid"), L"The address is not valid");

  // Without one: the system's text, on one line and without its closing period (the error
  // report adds that).
  for (HRESULT code : {E_FAIL, E_INVALIDARG, E_ACCESSDENIED, E_OUTOFMEMORY}) {
    std::wstring system = SystemText(code);
    ASSERT_FALSE(system.empty()) << std::hex << code;
    if (system.back() == L'.') system.pop_back();
    const std::wstring message = tk::OleErrorMessage(code);
    EXPECT_EQ(message, system) << std::hex << code;
    EXPECT_EQ(message.find_first_of(L"\r\n"), std::wstring::npos);
  }

  // A code the system has no text for: the code itself, as eight lower-case hex digits.
  const HRESULT own_code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0xBEEF);
  ASSERT_TRUE(SystemText(own_code).empty());
  EXPECT_EQ(tk::OleErrorMessage(own_code), L"OLE error 8004beef");
  const HRESULT small_code = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x0A0B);
  ASSERT_TRUE(SystemText(small_code).empty());
  EXPECT_EQ(tk::OleErrorMessage(small_code), L"OLE error 00040a0b");
}

TEST(WebBrowserExtent, OneInchIs2540AndTheLayoutAreaMatchesItsStoredExtent) {
  EXPECT_EQ(tk::PixelsToHimetric(96, 96), 2540);
  EXPECT_EQ(tk::PixelsToHimetric(120, 120), 2540);
  EXPECT_EQ(tk::PixelsToHimetric(144, 144), 2540);
  // 953 x 545 pixels at 96 pixels per inch is the extent stored with the layout.
  EXPECT_EQ(tk::PixelsToHimetric(953, 96), 25215);
  EXPECT_EQ(tk::PixelsToHimetric(545, 96), 14420);
  EXPECT_EQ(tk::PixelsToHimetric(0, 96), 0);
}

}  // namespace
