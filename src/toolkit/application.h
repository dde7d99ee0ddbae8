#pragma once
// The application object: the hidden, zero-size application window that owns every form and
// carries the title and main icon, the message loop, the default error report.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/form.h"
#include "toolkit/handles.h"
#include "toolkit/window_base.h"

namespace tk {

class TApplication : private WindowBase {
 public:
  TApplication();
  ~TApplication() override;

  // The entry's initialisation step. Nothing is left for it: the constructor's OleInitialize
  // has made the GUI thread a single-threaded COM apartment already.
  void Initialize() {}
  // False leaves the task-bar button with the application window (the default).
  bool MainFormOnTaskBar = false;

  // Stores the new form in `reference` before its layout is read and its creation handler
  // runs, then makes its window (hidden). The first form becomes the main form.
  template <typename T>
  void CreateForm(T*& reference) {
    auto form = std::make_unique<T>();
    reference = form.get();
    TForm* raw = form.get();
    forms_.push_back(std::move(form));
    AddForm(raw);
  }

  // Shows the main form, then takes and dispatches messages until told to terminate.
  void Run();
  // Asks the loop to end: posts the quit message.
  void Terminate();
  // Dispatches every message waiting for this thread, then returns.
  void ProcessMessages();
  // Releases every form (last created first).
  void DestroyForms();

  // The default error report for the exception being handled (call inside a catch).
  void HandleException();
  void ShowException(const std::wstring& message);

  HWND Handle() const { return Window(); }
  const std::wstring& Title() const { return title_; }
  TForm* MainForm() const { return main_form_; }
  void SetActiveForm(TForm* form) { active_form_ = form; }

  // Brings the application window's visibility in line with the forms', but only while its
  // real visibility still equals the state last given to it.
  void UpdateVisible();
  // A form that is being shown joins the monitor of the active form.
  void MoveToActiveFormMonitor(TForm* form);
  // After `hidden` was hidden while active: activate another visible, enabled form.
  void ActivateNextForm(TForm* hidden);

  // Runs when Windows ends the session (wParam of WM_ENDSESSION non-zero), before the process ends.
  // A WM_ENDSESSION with wParam zero (the end called off) closes the main form instead.
  std::function<void()> OnEndSession;
  // When set, takes the error reports in place of the message box.
  std::function<void(const std::wstring& message)> OnException;
  // Consulted for each message before it is dispatched; returns true when it took the message.
  std::function<bool(MSG&)> OnMessage;

 private:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void AddForm(TForm* form);
  bool ProcessMessage();
  // Everything that happens to a message taken from the queue.
  void Dispatch(MSG& msg);

  std::wstring title_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_form_ = nullptr;
  TForm* active_form_ = nullptr;
  bool terminated_ = false;
  bool recorded_visible_ = false;
  UniqueOleInit ole_;
};

// The one application object of the process.
extern TApplication* Application;

// Where an exception ends at a boundary between the system and our code (window procedure,
// timer callback, message loop, the entry, a form's creation or show handler): call inside the
// catch. The application's default error report shows it; nothing goes back to the caller.
void ReportException() noexcept;

}  // namespace tk
