#include "app/Unit2.h"

TForm2* Form2 = nullptr;

void TForm2::ReadLayout() {
  Caption = L"Torvane V5.0";
  Color = RGB(234, 234, 234);
  Position = tk::TPosition::poDesktopCenter;
  SetClientSize(950, 592);

  Image1 = AddGraphic<tk::TImage>();
  Image1->Name = L"Image1";
  Image1->SetBounds(0, -2, 1440, 50);
  Image1->SetPicture(tk::TPicture::FromResource(L"PORTAL_BANNER"));

  Image2 = AddGraphic<tk::TImage>();
  Image2->Name = L"Image2";
  Image2->SetBounds(0, 4, 40, 40);
  Image2->SetPicture(tk::TPicture::FromResource(L"PORTAL_LOGO"));
}
