#pragma once
// TForm2: the portal window with the embedded browser, the eight picture links, the notes
// pad and the check box; created hidden at start-up, hidden (never destroyed) when closed.
#include <memory>
#include <optional>
#include <string>

#include "toolkit/check_box.h"
#include "toolkit/form.h"
#include "toolkit/image.h"
#include "toolkit/ini_file.h"
#include "toolkit/memo.h"
#include "toolkit/notes_file.h"
#include "toolkit/web_browser.h"

class TForm2 : public tk::TForm {
 public:
  TForm2();
  ~TForm2() override;

  tk::TWebBrowser* WebBrowser1 = nullptr;
  tk::TImage* Image1 = nullptr;
  tk::TImage* Image2 = nullptr;
  tk::TImage* GoldWeb = nullptr;
  tk::TImage* GPriceWeb = nullptr;
  tk::TImage* SPriceWeb = nullptr;
  tk::TImage* ToolWeb = nullptr;
  tk::TImage* ChargeWeb = nullptr;
  tk::TImage* OpenWeb = nullptr;
  tk::TImage* memo = nullptr;
  tk::TImage* BbsWeb = nullptr;
  tk::TCheckBox* CheckBox1 = nullptr;
  tk::TMemo* Memo1 = nullptr;

  void Button1Click(tk::TObject* Sender);
  void GoldWebClick(tk::TObject* Sender);
  void GPriceWebClick(tk::TObject* Sender);
  void SPriceWebClick(tk::TObject* Sender);
  void ToolWebClick(tk::TObject* Sender);
  void ChargeWebClick(tk::TObject* Sender);
  void OpenWebClick(tk::TObject* Sender);
  void BbsWebClick(tk::TObject* Sender);
  void FormCreate(tk::TObject* Sender);
  void memoClick(tk::TObject* Sender);

  // Brings the portal to the front showing the maker's home page; the pad keeps its visibility.
  void ShowHomePage();
  // The shutdown's saves: the check box's state into GoldCfg and its release, then the pad's
  // text into the notes file, each tried on its own. Notes that cannot be written beside the
  // program go to the temporary folder. Throws one error naming every file that failed and
  // where the notes went instead.
  void SaveState();

 protected:
  void ReadLayout() override;
  const wchar_t* ClassName() const override { return L"TForm2"; }
  DWORD Style() const override { return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void WMSysCommand(WPARAM command, LPARAM lp);
  // The seven web links: hide the pad, then open the address.
  void OpenLink(const std::wstring& address);
  void SaveSetting();
  // Saves the pad's text beside the program, or else rescues it to the temporary folder. Nothing
  // when saved; else the report's sentence: the failure and where the notes are, or that they
  // are lost.
  std::optional<std::wstring> SaveNotes();

  std::unique_ptr<tk::NotesFile> notes_;
};

extern TForm2* Form2;
// The settings object over "GoldCfg.ini": made when the portal is created, released at shutdown.
extern std::unique_ptr<tk::TIniFile> GoldCfg;

// The program's two files, beside its executable: the settings file "GoldCfg.ini" and the
// notes file "qorla.txt".
std::wstring SettingsPath();
std::wstring NotesPath();

// The maker's home page: the site's host with no path at all.
std::wstring HomePage();
