#include "toolkit/web_browser.h"

#include <memory>

#include "toolkit/exception.h"
#include "toolkit/handles.h"
#include "toolkit/text.h"

namespace tk {

namespace {

// The system's web browser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
constexpr CLSID kWebBrowserClass = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

using UniqueBstr = UniqueAny<BSTR, &SysFreeString>;

void Check(HRESULT hr) {
  if (FAILED(hr)) throw Exception(OleErrorMessage(hr));
}

// The description an object left for the failure of its last call, if it leaves any.
template <typename T>
std::wstring ErrorDescription(const ComPtr<T>& object) {
  auto support = object.template As<ISupportErrorInfo>();
  if (!support || support->InterfaceSupportsErrorInfo(__uuidof(T)) != S_OK) return {};
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  UniqueBstr text;
  if (FAILED(info->GetDescription(text.put()))) return {};
  return text ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring();
}

int ScreenPixelsPerInch(int axis) {
  ScreenDC screen;
  return GetDeviceCaps(screen.get(), axis);
}

// The reference count of an object of ours that the control holds: one reference when made,
// deleted at its last Release.
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  ULONG refs_ = 1;
};

// Our side of the hosting: the control's client site, its in-place site and the frame it
// is activated in. One object, as the control sees one container.
class BrowserSite final : public ComObject<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame> {
 public:
  BrowserSite(HWND parent, const RECT& rect) : parent_(parent), rect_(rect) {}
  void SetRect(const RECT& rect) { rect_ = rect; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *out = nullptr;
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, for the in-place site and the frame alike
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = parent_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position, RECT* clip,
                                OLEINPLACEFRAMEINFO* info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    AddRef();
    *frame = this;
    *document = nullptr;  // no separate document window: the frame is all there is
    *position = rect_;
    *clip = rect_;
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  // The control's own wishes for its size are not followed: the window decides.
  STDMETHODIMP OnPosRectChange(const RECT*) override { return S_OK; }

  // IOleInPlaceUIWindow: no tool space to give
  STDMETHODIMP GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(const BORDERWIDTHS*) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(const BORDERWIDTHS*) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, const OLECHAR*) override { return S_OK; }

  // IOleInPlaceFrame: no menus, no status line, no accelerators of ours
  STDMETHODIMP InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(const OLECHAR*) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(MSG*, WORD) override { return S_FALSE; }

 private:
  ~BrowserSite() override = default;

  HWND parent_;
  RECT rect_;
};

// The sink of the control's events. The window handles none of them.
class BrowserEvents final : public ComObject<IDispatch> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    bool ours = iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2;
    *out = ours ? static_cast<IDispatch*>(this) : nullptr;
    if (!ours) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  // Every event is taken and left as it came (a navigation is never cancelled here).
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }

 private:
  ~BrowserEvents() override = default;
};

// The site the control holds is always ours.
BrowserSite& OurSite(const ComPtr<IOleClientSite>& site) { return *static_cast<BrowserSite*>(site.get()); }

// The control's extent for a size in screen pixels, in hundredths of a millimetre.
SIZEL ExtentFor(int width, int height) {
  return {PixelsToHimetric(width, ScreenPixelsPerInch(LOGPIXELSX)),
          PixelsToHimetric(height, ScreenPixelsPerInch(LOGPIXELSY))};
}

}  // namespace

std::wstring OleErrorMessage(HRESULT code, const std::wstring& description) {
  if (!description.empty()) return description;
  const std::wstring system = SystemErrorText(static_cast<unsigned long>(code));
  if (!system.empty()) return system;
  wchar_t fallback[32];
  swprintf(fallback, 32, L"OLE error %.8lx", static_cast<unsigned long>(code));
  return fallback;
}

int PixelsToHimetric(int pixels, int pixels_per_inch) { return MulDiv(pixels, 2540, pixels_per_inch); }

TWebBrowser::TWebBrowser(TForm* parent) : TWinControl(parent, nullptr) {
  Check(CoCreateInstance(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                         object_.put_void()));
  browser_ = object_.As<IWebBrowser2>();
  if (!browser_) throw Exception(OleErrorMessage(E_NOINTERFACE));
}

// Undo the hosting in the reverse order of CreateWindowIn; the control's window goes with it.
TWebBrowser::~TWebBrowser() {
  if (in_place_) in_place_->InPlaceDeactivate();
  if (event_point_) event_point_->Unadvise(event_cookie_);
  if (site_) object_->SetClientSite(nullptr);
  object_->Close(OLECLOSE_NOSAVE);
  event_point_.reset();
  events_.reset();
  in_place_.reset();
  browser_.reset();
  object_.reset();
  site_.reset();
  // The window is the control's own, closed by it, not by the base.
  WindowDestroyed();
}

HWND TWebBrowser::CreateWindowIn(HWND parent) {
  if (site_) return control_window_;
  RECT rect = BoundsRect();
  site_.reset(new BrowserSite(parent, rect));
  Check(object_->SetClientSite(site_.get()));
  // The layout's state is a size and no address. A new object has no address, so InitNew and
  // the extent give exactly that state, without a stream in the control's private format.
  auto persist = object_.As<IPersistStreamInit>();
  if (persist) Check(persist->InitNew());
  SIZEL extent = ExtentFor(Width(), Height());
  Check(object_->SetExtent(DVASPECT_CONTENT, &extent));
  ConnectEvents();
  Check(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, parent, &rect));
  in_place_ = object_.As<IOleInPlaceObject>();
  if (in_place_) in_place_->GetWindow(&control_window_);
  PlaceControl();
  if (!Visible() && control_window_) ShowWindow(control_window_, SW_HIDE);
  return control_window_;
}

// The window handles no event of the control; a control without events is hosted all the same.
void TWebBrowser::ConnectEvents() {
  auto container = object_.As<IConnectionPointContainer>();
  if (!container) return;
  if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, event_point_.put()))) return;
  events_.reset(new BrowserEvents());
  if (FAILED(event_point_->Advise(events_.get(), &event_cookie_))) event_point_.reset();
}

void TWebBrowser::SetBounds(int left, int top, int width, int height) {
  StoreBounds(left, top, width, height);
  if (site_) PlaceControl();
}

// The bounds become the control's extent and its in-place rectangle. A control that refuses
// a size keeps its old one; there is nothing to report to the user.
void TWebBrowser::PlaceControl() {
  const RECT rect = BoundsRect();
  SIZEL extent = ExtentFor(width_, height_);
  OurSite(site_).SetRect(rect);
  object_->SetExtent(DVASPECT_CONTENT, &extent);
  if (in_place_) in_place_->SetObjectRects(&rect, &rect);
}

void TWebBrowser::SetVisible(bool visible) {
  visible_ = visible;
  if (control_window_) ShowWindow(control_window_, visible ? SW_SHOWNA : SW_HIDE);
}

void TWebBrowser::Navigate(const std::wstring& address) {
  UniqueBstr url(SysAllocStringLen(address.data(), static_cast<UINT>(address.size())));
  if (!url) throw Exception(OleErrorMessage(E_OUTOFMEMORY));
  // Flags, target frame, post data and headers are all "not given".
  VARIANT not_given;
  VariantInit(&not_given);
  V_VT(&not_given) = VT_ERROR;
  V_ERROR(&not_given) = DISP_E_PARAMNOTFOUND;
  HRESULT hr = browser_->Navigate(url.get(), &not_given, &not_given, &not_given, &not_given);
  if (FAILED(hr)) throw Exception(OleErrorMessage(hr, ErrorDescription(browser_)));
}

}  // namespace tk
