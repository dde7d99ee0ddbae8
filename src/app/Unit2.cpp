#include "app/Unit2.h"

#include <vector>

#include "app/site_hosts.h"
#include "core/error_text.h"
#include "toolkit/exception.h"
#include "toolkit/program_files.h"
#include "toolkit/text.h"

TForm2* Form2 = nullptr;
std::unique_ptr<tk::TIniFile> GoldCfg;

namespace {

std::wstring SitePage(const wchar_t* path) { return HomePage() + path; }

// A message as a sentence of a longer report: ends with a period.
std::wstring Sentence(const std::wstring& message) { return tk::ToWide(core::ErrorReportText(tk::ToU16(message))); }

// The pad's text until a notes file replaces it; the notice page follows line 2 directly.
std::wstring InitialNotes() {
  return std::wstring(L"\r\n") + L"如果您发现本软件不能正常使用，请下载最新版本或者查看通知：" + HomePage() +
         app::kNoticePath + L"\r\n\r\n\r\n" + L"您的交易计划与备忘录：\r\n" +
         L"===================================\r\n";
}

}  // namespace

std::wstring HomePage() { return std::wstring(L"http://") + app::kSiteHost; }

TForm2::TForm2() = default;
TForm2::~TForm2() = default;

void TForm2::ReadLayout() {
  Caption = L"Torvane V5.0";
  Color = 15395562;  // RGB 234, 234, 234
  Position = tk::TPosition::poDesktopCenter;
  SetClientSize(950, 592);

  WebBrowser1 = AddWinControl<tk::TWebBrowser>();
  WebBrowser1->SetBounds(0, 48, 953, 545);
  WebBrowser1->Anchors = tk::akLeft | tk::akTop | tk::akRight | tk::akBottom;
  WebBrowser1->TabOrder = 0;

  Image1 = AddGraphic<tk::TImage>();
  Image1->SetBounds(0, -2, 1440, 50);
  Image1->SetPicture(tk::TPicture::FromResource(L"PORTAL_BANNER"));

  Image2 = AddGraphic<tk::TImage>();
  Image2->SetBounds(0, 4, 40, 40);
  Image2->SetPicture(tk::TPicture::FromResource(L"PORTAL_LOGO"));

  struct Link {
    tk::TImage** member;
    int left, top;
    const wchar_t* picture;
    void (TForm2::*click)(tk::TObject*);
  };
  const Link links[] = {
      {&GoldWeb, 156, 18, L"LINK_GOLDWEB", &TForm2::GoldWebClick},
      {&GPriceWeb, 254, 18, L"LINK_GPRICEWEB", &TForm2::GPriceWebClick},
      {&SPriceWeb, 352, 18, L"LINK_SPRICEWEB", &TForm2::SPriceWebClick},
      {&ToolWeb, 450, 18, L"LINK_TOOLWEB", &TForm2::ToolWebClick},
      {&ChargeWeb, 548, 18, L"LINK_CHARGEWEB", &TForm2::ChargeWebClick},
      {&OpenWeb, 646, 18, L"LINK_OPENWEB", &TForm2::OpenWebClick},
      {&memo, 744, 17, L"LINK_MEMO", &TForm2::memoClick},
      {&BbsWeb, 842, 18, L"LINK_BBSWEB", &TForm2::BbsWebClick},
  };
  for (const Link& link : links) {
    tk::TImage* image = AddGraphic<tk::TImage>();
    image->SetBounds(link.left, link.top, 0, 0);
    image->SetPicture(tk::TPicture::FromResource(link.picture));
    image->Cursor = tk::TCursor::crHandPoint;
    auto click = link.click;
    image->OnClick = [this, click](tk::TObject* s) { (this->*click)(s); };
    *link.member = image;
  }

  CheckBox1 = AddWinControl<tk::TCheckBox>(
      std::make_unique<tk::TFont>(L"Tahoma", -11, GB2312_CHARSET, tk::clWindowText), L"不自动弹出此窗口");
  CheckBox1->SetBounds(42, 30, 119, 17);
  CheckBox1->TabOrder = 1;

  Memo1 = AddWinControl<tk::TMemo>(std::make_unique<tk::TFont>(L"宋体", -16, GB2312_CHARSET, tk::clWindowText),
                                   InitialNotes());
  Memo1->SetBounds(0, 48, 953, 545);
  Memo1->Anchors = tk::akLeft | tk::akTop | tk::akRight | tk::akBottom;
  Memo1->TabOrder = 2;
  Memo1->SetVisible(false);

  OnCreate = [this](tk::TObject* s) { FormCreate(s); };
}

void TForm2::FormCreate(tk::TObject*) {
  // The notes file's object comes first, touching nothing on disk: should the steps below fail,
  // the shutdown still has it, and it counts a file it never read as not loaded.
  notes_ = std::make_unique<tk::NotesFile>(NotesPath());
  GoldCfg = std::make_unique<tk::TIniFile>(SettingsPath());
  CheckBox1->SetChecked(GoldCfg->ReadBool(L"ShowForm", L"Show", false));
  std::optional<std::wstring> text = notes_->Load();
  // Whatever fails from here on (the pad refusing the text, the window or the browser control
  // that the pad's first use brings about) leaves the file counting as not loaded: the pad may
  // not hold it, and the first save keeps it aside instead of writing the initial lines over it.
  try {
    if (text && *text != Memo1->Text()) {
      Memo1->SetText(*text);
      // A pad that holds less than it was given would save less: the file is kept aside then.
      if (Memo1->Text() != *text) notes_->MarkNotLoaded();
    }
  } catch (...) {
    notes_->MarkNotLoaded();
    throw;
  }
}

void TForm2::OpenLink(const std::wstring& address) {
  if (Memo1->Focused()) SetFocus(Handle());
  Memo1->SetVisible(false);
  WebBrowser1->Navigate(address);
}

void TForm2::ShowHomePage() {
  Show();
  WebBrowser1->Navigate(HomePage());
}

void TForm2::GoldWebClick(tk::TObject*) { OpenLink(HomePage()); }
void TForm2::GPriceWebClick(tk::TObject*) { OpenLink(SitePage(L"/html/hjjg.html")); }
void TForm2::SPriceWebClick(tk::TObject*) { OpenLink(SitePage(L"/html/byjg.html")); }
void TForm2::ToolWebClick(tk::TObject*) { OpenLink(SitePage(L"/html/hangqing/")); }
void TForm2::ChargeWebClick(tk::TObject*) { OpenLink(SitePage(L"/html/sffw.html")); }
void TForm2::OpenWebClick(tk::TObject*) { OpenLink(SitePage(L"/html/hjkh.html")); }
void TForm2::BbsWebClick(tk::TObject*) { OpenLink(std::wstring(L"http://") + app::kForumHost + L"/"); }
void TForm2::memoClick(tk::TObject*) { Memo1->SetVisible(true); }

// Bound to no control: the outside web directory, given as a bare host.
void TForm2::Button1Click(tk::TObject*) { WebBrowser1->Navigate(app::kDirectoryHost); }

void TForm2::SaveState() {
  // A portal whose layout failed had no pad and no check box: nothing of this run to keep.
  if (!CheckBox1 || !Memo1 || !notes_) return;
  // Each file is tried on its own: a setting that cannot be written must not cost the notes.
  std::vector<std::wstring> failures;
  try {
    SaveSetting();
  } catch (...) {
    failures.push_back(tk::CurrentExceptionMessage());
  }
  if (std::optional<std::wstring> lost = SaveNotes()) failures.push_back(*lost);
  if (failures.empty()) return;
  // One report naming every file that failed, each message a sentence of its own.
  std::wstring report;
  for (size_t i = 0; i < failures.size(); ++i) {
    if (i > 0) report += L"\r\n";
    report += i + 1 < failures.size() ? Sentence(failures[i]) : failures[i];
  }
  throw tk::Exception(report);
}

void TForm2::SaveSetting() {
  const bool checked = CheckBox1->Checked();
  if (GoldCfg) {
    GoldCfg->WriteBool(L"ShowForm", L"Show", checked);
    GoldCfg.reset();  // the release writes the file out
  } else {
    // Released by an earlier attempt whose notes save failed: write through a fresh one.
    tk::TIniFile settings(SettingsPath());
    settings.WriteBool(L"ShowForm", L"Show", checked);
  }
}

std::optional<std::wstring> TForm2::SaveNotes() {
  std::optional<std::wstring> text;
  std::wstring failure;
  try {
    text = Memo1->Text();
    notes_->Save(*text);
    return std::nullopt;
  } catch (...) {
    failure = tk::CurrentExceptionMessage();
  }
  // Not beside the program: then in the user's temporary folder, where the user can fetch them.
  try {
    if (!text) throw tk::Exception(L"The pad's text could not be read");
    const std::wstring rescued = notes_->Rescue(*text);
    return Sentence(failure) + L" The notes have been saved to \"" + rescued + L"\" instead";
  } catch (...) {
    return Sentence(failure) + L" Saving them to the temporary folder failed as well: " +
           Sentence(tk::CurrentExceptionMessage()) + L" The notes of this run are lost";
  }
}

void TForm2::WMSysCommand(WPARAM command, LPARAM lp) {
  // Minimising hides the portal instead; it never shows as a minimised window.
  if ((command & 0xFFF0) == SC_MINIMIZE) {
    Close();
    return;
  }
  DefaultHandler(WM_SYSCOMMAND, command, lp);
}

LRESULT TForm2::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SYSCOMMAND) {
    WMSysCommand(wp, lp);
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

std::wstring SettingsPath() { return tk::ProgramDirectory() + L"GoldCfg.ini"; }

std::wstring NotesPath() { return tk::ProgramDirectory() + L"qorla.txt"; }
