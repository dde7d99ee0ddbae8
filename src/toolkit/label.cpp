#include "toolkit/label.h"

#include <uxtheme.h>

#include "core/design_scale.h"
#include "toolkit/handles.h"

namespace tk {
namespace {

constexpr UINT kTextFlags = DT_EXPANDTABS | DT_LEFT | DT_TOP;

bool VisualStylesInEffect() { return IsAppThemed() && IsThemeActive(); }

}  // namespace

TLabel::TLabel(TForm* parent, std::unique_ptr<TFont> font, TColor color)
    : TGraphicControl(parent), font_(std::move(font)), color_(color), transparent_(VisualStylesInEffect()) {}

void TLabel::SetCaption(const std::wstring& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  AdjustBounds();
  Invalidate();
}

void TLabel::AdjustBounds() {
  ScreenDC screen;
  SelectIn font(screen.get(), font_->Handle());
  // An empty caption is measured as one blank.
  std::wstring text = caption_.empty() ? std::wstring(L" ") : caption_;
  RECT r{0, 0, 0, 0};
  DrawTextW(screen.get(), text.c_str(), static_cast<int>(text.size()), &r, kTextFlags | DT_CALCRECT);
  SetBounds(left_, top_, r.right - r.left, r.bottom - r.top);
}

void TLabel::Paint(HDC dc) {
  RECT r = BoundsRect();
  if (!transparent_) {
    UniqueBrush brush(CreateSolidBrush(ColorToRGB(color_)));
    FillRect(dc, &r, brush.get());
  }
  SelectIn font(dc, font_->Handle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(font_->Color()));
  DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &r, kTextFlags | DT_NOCLIP);
}

void TLabel::ScaleBy(int measured, int design) {
  TControl::ScaleBy(measured, design);
  font_->SetHeight(core::ScaleDesignValue(font_->Height(), measured, design));
  AdjustBounds();
}

}  // namespace tk
