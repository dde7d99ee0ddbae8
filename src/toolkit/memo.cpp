#include "toolkit/memo.h"

#include "toolkit/exception.h"

namespace tk {

TMemo::TMemo(TForm* parent, std::unique_ptr<TFont> font, std::wstring text)
    : TWinControl(parent, std::move(font)), initial_text_(std::move(text)) {}

HWND TMemo::CreateWnd(HWND parent) {
  // Made empty: the text comes once the font is in place, so it is laid out only once.
  HWND hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN |
                                  ES_AUTOVSCROLL | ES_LEFT | (Visible() ? WS_VISIBLE : 0),
                              Left(), Top(), Width(), Height(), parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  // No limit but the system's: notes of several megabytes must fit.
  SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
  return hwnd;
}

void TMemo::WindowCreated() { SendMessageW(Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(initial_text_.c_str())); }

std::wstring TMemo::Text() {
  HWND hwnd = Handle();
  int length = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
  text.resize(static_cast<size_t>(copied));
  return text;
}

void TMemo::SetText(const std::wstring& text) {
  if (!SendMessageW(Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()))) {
    throw Exception(L"Text exceeds memo capacity");
  }
}

}  // namespace tk
