// The entry: initialise the application, create the bar and the portal, run the loop.
#include <windows.h>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "toolkit/application.h"

using tk::Application;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tk::TApplication application;
  try {
    Application->Initialize();
    Application->MainFormOnTaskBar = false;
    Application->CreateForm(Form1);
    Application->CreateForm(Form2);
  } catch (...) {
    // A window that cannot be made stops the program before anything is shown.
    tk::ReportException();
    return 0;
  }
  Application->Run();
  Application->DestroyForms();
  return 0;
}
