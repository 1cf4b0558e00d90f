// The web view: our own small OLE site hosting the system's WebBrowser control.
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <ole2.h>

#include "platform/platform.h"
#include "platform/win32/common.h"
#include "shell/native_events.h"

namespace quorvel::win32 {
namespace {

constexpr wchar_t kViewProperty[] = L"Quorvel.WebView";

// Reference counting shared by the small COM objects below; they live on the heap.
class RefCounted {
 protected:
  virtual ~RefCounted() = default;
  ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG ReleaseImpl() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  LONG refs_ = 1;
};

// The in-place frame: the top-level window that holds the web view.
class Frame final : public IOleInPlaceFrame, private RefCounted {
 public:
  explicit Frame(HWND host) : host_(host) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
        iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = GetAncestor(host_, GA_ROOT);
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND host_;
};

// The client site and in-place site of the engine: the web view's own window.
class Site final : public IOleClientSite, public IOleInPlaceSite, private RefCounted {
 public:
  explicit Site(HWND host) : host_(host), frame_(ComPtr<Frame>::Adopt(new Frame(host))) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = frame_.get();
    frame_->AddRef();
    *document = nullptr;
    GetClientRect(host_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

 private:
  HWND host_;
  ComPtr<Frame> frame_;
};

// Turns the engine's DWebBrowserEvents2 into the web view's events.
class EventSink final : public IDispatch, private RefCounted {
 public:
  explicit EventSink(ControlIdentity id) : id_(id) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    try {
      using controls::HtmlViewerEvent;
      switch (member) {
        // Arguments arrive last first: Cancel is rgvarg[0] for both asking events.
        case DISPID_BEFORENAVIGATE2:
          Ask(HtmlViewerEvent::WillNavigate, params, 7);
          break;
        case DISPID_NEWWINDOW2:
          Ask(HtmlViewerEvent::WillOpenNewWindow, params, 2);
          break;
        case DISPID_NAVIGATECOMPLETE2:
          Tell(HtmlViewerEvent::NavigationComplete);
          break;
        case DISPID_DOWNLOADBEGIN:
          Tell(HtmlViewerEvent::DownloadBegin);
          break;
        case DISPID_PROGRESSCHANGE:
          Tell(HtmlViewerEvent::ProgressChange);
          break;
        case DISPID_DOWNLOADCOMPLETE:
          Tell(HtmlViewerEvent::DownloadComplete);
          break;
        case DISPID_DOCUMENTCOMPLETE:
          Tell(HtmlViewerEvent::DocumentComplete);
          break;
        case DISPID_STATUSTEXTCHANGE:
          Tell(HtmlViewerEvent::StatusTextChange);
          break;
        case DISPID_TITLECHANGE:
          Tell(HtmlViewerEvent::TitleChange);
          break;
        case DISPID_COMMANDSTATECHANGE:
          Tell(HtmlViewerEvent::CommandStateChange);
          break;
        default:
          return DISP_E_MEMBERNOTFOUND;
      }
      return S_OK;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  void Tell(controls::HtmlViewerEvent event) { controls::OnHtmlViewerEvent(id_, event); }

  void Ask(controls::HtmlViewerEvent event, DISPPARAMS* params, UINT arguments) {
    if (controls::OnHtmlViewerEvent(id_, event)) return;
    if (!params || params->cArgs < arguments) return;
    VARIANT& cancel = params->rgvarg[0];
    if (V_VT(&cancel) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&cancel))
      *V_BOOLREF(&cancel) = VARIANT_TRUE;
  }

  ControlIdentity id_;
};

// One per web view window; owned by that window and deleted with it.
class WebView {
 public:
  WebView(HWND host, ControlIdentity id) : host_(host), id_(id) {}
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;
  ~WebView() { Teardown(); }

  bool Embed() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                object_.put_void())))
      return false;
    site_ = ComPtr<Site>::Adopt(new Site(host_));
    RECT area;
    GetClientRect(host_, &area);
    if (FAILED(object_->SetClientSite(site_.get())) ||
        FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, host_, &area))) {
      Teardown();
      return false;
    }
    inPlace_ = object_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (inPlace_) inPlace_->GetWindow(&engineWindow_);
    browser_ = object_.As<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser_) {
      Teardown();
      return false;
    }
    active_ = object_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
    if (auto points = object_.As<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
      points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.put());
      auto sink = ComPtr<EventSink>::Adopt(new EventSink(id_));
      if (events_ && FAILED(events_->Advise(sink.get(), &cookie_))) events_.reset();
    }
    return true;
  }

  // Release the engine's interface, then its window; ours goes after.
  void Teardown() {
    if (events_) events_->Unadvise(cookie_);
    events_.reset();
    browser_.reset();
    active_.reset();
    if (inPlace_) inPlace_->InPlaceDeactivate();
    inPlace_.reset();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    object_.reset();
    site_.reset();
    if (engineWindow_ && IsWindow(engineWindow_)) ::DestroyWindow(engineWindow_);
    engineWindow_ = nullptr;
  }

  void Resize(int width, int height) {
    RECT area{0, 0, width, height};
    if (inPlace_) inPlace_->SetObjectRects(&area, &area);
  }

  void Focus() {
    if (engineWindow_ && IsWindow(engineWindow_)) ::SetFocus(engineWindow_);
  }

  bool TranslateKey(MSG& message) {
    return active_ && active_->TranslateAccelerator(&message) == S_OK;
  }

  IWebBrowser2* Browser() const { return browser_.get(); }
  ControlIdentity Identity() const { return id_; }

 private:
  HWND host_;
  ControlIdentity id_;
  ComPtr<IOleObject> object_;
  ComPtr<Site> site_;
  ComPtr<IOleInPlaceObject> inPlace_;
  ComPtr<IOleInPlaceActiveObject> active_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  HWND engineWindow_ = nullptr;
};

WebView* ViewOf(HWND window) {
  return window ? static_cast<WebView*>(GetPropW(window, kViewProperty)) : nullptr;
}

IWebBrowser2* BrowserOf(platform::Handle view) {
  WebView* web = ViewOf(Hwnd(view));
  return web ? web->Browser() : nullptr;
}

LRESULT CALLBACK WebViewProcedure(HWND host, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_SIZE:
        if (WebView* view = ViewOf(host)) view->Resize(LOWORD(lParam), HIWORD(lParam));
        return 0;
      case WM_SETFOCUS:
        if (WebView* view = ViewOf(host)) view->Focus();
        return 0;
      case WM_DESTROY:
        if (WebView* view = ViewOf(host)) view->Teardown();
        return 0;
      case WM_NCDESTROY:
        if (auto* view = static_cast<WebView*>(RemovePropW(host, kViewProperty))) {
          const ControlIdentity id = view->Identity();
          delete view;
          shell::OnControlDestroyed(id);
        }
        break;
      default:
        break;
    }
  } catch (...) {
  }
  return DefWindowProcW(host, message, wParam, lParam);
}

}  // namespace

bool EngineTranslateAccelerator(MSG& message) {
  for (HWND window = GetFocus(); window;
       window = (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr) {
    if (WebView* view = ViewOf(window)) return view->TranslateKey(message);
  }
  return false;
}

}  // namespace quorvel::win32

namespace quorvel::platform {

using namespace win32;

Handle CreateWebView(Handle parent, ControlIdentity id, Rect place, ControlStyle style) {
  const wchar_t* cls = EnsureClass(L"QuorvelWebView", WebViewProcedure, 0,
                                   static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (!cls) return nullptr;
  DWORD flags = WS_CHILD | WS_CLIPSIBLINGS;
  if (style.tabStop) flags |= WS_TABSTOP;
  if (style.disabled) flags |= WS_DISABLED;
  HWND host = CreateWindowExW(
      0, cls, L"", flags, place.left, place.top, place.width, place.height, Hwnd(parent),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(style.childId)), Instance(), nullptr);
  if (!host) return nullptr;
  auto* view = new (std::nothrow) WebView(host, id);
  if (!view) {
    ::DestroyWindow(host);
    return nullptr;
  }
  SetPropW(host, kViewProperty, view);  // the window owns it from here
  if (!view->Embed()) {
    ::DestroyWindow(host);
    return nullptr;
  }
  return Wrap(host);
}

void WebSetOffline(Handle view, bool offline) {
  if (IWebBrowser2* browser = BrowserOf(view))
    browser->put_Offline(offline ? VARIANT_TRUE : VARIANT_FALSE);
}

void WebSetSilent(Handle view, bool silent) {
  if (IWebBrowser2* browser = BrowserOf(view))
    browser->put_Silent(silent ? VARIANT_TRUE : VARIANT_FALSE);
}

void WebSetZoom(Handle view, int level) {
  IWebBrowser2* browser = BrowserOf(view);
  if (!browser) return;
  VARIANT in;
  VariantInit(&in);
  V_VT(&in) = VT_I4;
  V_I4(&in) = level;
  browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr);
}

void WebNavigate(Handle view, const char* address) {
  IWebBrowser2* browser = BrowserOf(view);
  if (!browser) return;
  std::wstring wide = Wide(address);
  Bstr url(wide.c_str(), static_cast<UINT>(wide.size()));
  VARIANT flags, none;
  VariantInit(&flags);
  VariantInit(&none);
  V_VT(&flags) = VT_I4;
  V_I4(&flags) = 0;
  browser->Navigate(url.get(), &flags, &none, &none, &none);
}

}  // namespace quorvel::platform
