#pragma once
// TForm2: the portal window, created hidden at start-up.
#include "toolkit/form.h"
#include "toolkit/image.h"

class TForm2 : public tk::TForm {
 public:
  tk::TImage* Image1 = nullptr;
  tk::TImage* Image2 = nullptr;

 protected:
  void ReadLayout() override;
  const wchar_t* ClassName() const override { return L"TForm2"; }
  DWORD Style() const override { return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN; }
};

extern TForm2* Form2;
