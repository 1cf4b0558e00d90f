// The web view: a WebKitWebView in a wrapper of its own, its settings, and its ten events
// raised from the engine's signals.
//
// The engine is made only once the window's first frame is on the screen (or sooner, when an
// address is set), and WebKit's library is loaded only then: linked into the program, loading
// and relocating it took about 0.1 s before main, and making the first view (the GL stack, the
// network process) more still, longer than everything else before the splash shows. Until then
// a focusable placeholder stands in the wrapper, and the settings wait in the view's record.
#include <dlfcn.h>
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>  // declarations only: the library is not linked

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "platform/gtk/common.h"
#include "platform/gtk/owners.h"
#include "platform/platform.h"
#include "shell/fatal_error.h"
#include "shell/native_events.h"

namespace quorvel::platform {
namespace gtk {
namespace {

using controls::HtmlViewerEvent;

// WebKit's entry points this layer uses, looked up when the library is loaded.
struct Engine {
  decltype(&webkit_web_view_get_type) webViewType;
  decltype(&webkit_navigation_policy_decision_get_type) navigationDecisionType;
  decltype(&webkit_website_policies_new_with_policies) newPolicies;
  decltype(&webkit_navigation_action_get_request) actionRequest;
  decltype(&webkit_uri_request_get_uri) requestUri;
  decltype(&webkit_policy_decision_ignore) ignore;
  decltype(&webkit_navigation_policy_decision_get_navigation_action) decisionAction;
  decltype(&webkit_hit_test_result_context_is_link) hitIsLink;
  decltype(&webkit_hit_test_result_get_link_uri) hitLinkUri;
  decltype(&webkit_web_view_get_back_forward_list) history;
  decltype(&webkit_web_view_get_settings) settings;
  decltype(&webkit_settings_set_zoom_text_only) zoomTextOnly;
  decltype(&webkit_web_view_set_zoom_level) setZoom;
  decltype(&webkit_web_view_load_uri) loadUri;
};

const Engine* engine = nullptr;  // once loaded; never unloaded

template <class Function>
bool Find(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// nullptr when the library or one of its entry points cannot be had.
const Engine* LoadEngine() {
  if (engine != nullptr) return engine;
  void* library = dlopen(QUORVEL_WEBKIT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "quorvel: cannot load the web engine: %s\n", dlerror());
    return nullptr;
  }
  static Engine loaded;
  const bool complete =
      Find(library, "webkit_web_view_get_type", loaded.webViewType) &&
      Find(library, "webkit_navigation_policy_decision_get_type", loaded.navigationDecisionType) &&
      Find(library, "webkit_website_policies_new_with_policies", loaded.newPolicies) &&
      Find(library, "webkit_navigation_action_get_request", loaded.actionRequest) &&
      Find(library, "webkit_uri_request_get_uri", loaded.requestUri) &&
      Find(library, "webkit_policy_decision_ignore", loaded.ignore) &&
      Find(library, "webkit_navigation_policy_decision_get_navigation_action",
           loaded.decisionAction) &&
      Find(library, "webkit_hit_test_result_context_is_link", loaded.hitIsLink) &&
      Find(library, "webkit_hit_test_result_get_link_uri", loaded.hitLinkUri) &&
      Find(library, "webkit_web_view_get_back_forward_list", loaded.history) &&
      Find(library, "webkit_web_view_get_settings", loaded.settings) &&
      Find(library, "webkit_settings_set_zoom_text_only", loaded.zoomTextOnly) &&
      Find(library, "webkit_web_view_set_zoom_level", loaded.setZoom) &&
      Find(library, "webkit_web_view_load_uri", loaded.loadUri);
  if (!complete) {
    std::fprintf(stderr, "quorvel: the web engine lacks an entry point this program uses\n");
    return nullptr;  // the library stays loaded: its types may be registered already
  }
  engine = &loaded;
  return engine;
}

bool IsWebView(GtkWidget* widget) {
  return engine != nullptr && widget != nullptr &&
         G_TYPE_CHECK_INSTANCE_TYPE(widget, engine->webViewType());
}

WebKitWebView* AsEngine(GtkWidget* view) {
  return reinterpret_cast<WebKitWebView*>(view);
}

// The text-only zoom factors of the five text sizes, smallest to largest; 1.0 is the engine's
// medium size.
constexpr double kZoomSteps[] = {0.75, 0.875, 1.0, 1.25, 1.5};

// What a web view keeps beside the engine. Its address is also the view's page handle.
struct WebViewState {
  ControlIdentity id;
  GtkWidget* wrapper = nullptr;
  GtkWidget* view = nullptr;  // nullptr until the engine is made
  int zoomLevel = -1;         // the text size asked for; -1 none yet
  bool silent = false;
  bool offline = false;
  bool pageHoldsFocus = false;
  std::string hoveredLink;  // the last status text, so only a change raises its event
};

std::set<const WebViewState*> liveStates;

constexpr const char* kStateKey = "quorvel-web";

WebViewState* StateOf(GtkWidget* view) {
  if (!IsWebView(view)) return nullptr;
  return static_cast<WebViewState*>(g_object_get_data(G_OBJECT(view), kStateKey));
}

// The record of a web view control, by the core's handle (the wrapper), engine made or not.
WebViewState* StateOfControl(Handle control) {
  ControlRecord* record = ControlOf(AsWidget(control));
  if (record == nullptr || record->kind != ControlKind::WebView) return nullptr;
  auto* state = static_cast<WebViewState*>(g_object_get_data(G_OBJECT(record->wrapper), kStateKey));
  return liveStates.contains(state) ? state : nullptr;
}

void FreeState(gpointer data) {
  auto* state = static_cast<WebViewState*>(data);
  liveStates.erase(state);
  delete state;
}

bool Raise(const WebViewState* state, HtmlViewerEvent event) {
  return controls::OnHtmlViewerEvent(state->id, event);
}

void FinishLaunch(GObject*, GAsyncResult* result, gpointer) {
  ErrorOwner error;
  // Without a default browser there is nowhere to show the page; like a refused window, that
  // is the desktop's business and is not reported.
  g_app_info_launch_default_for_uri_finish(result, error.out());
}

// The page may have its new window: the desktop's default browser shows it, as the Windows
// engine opens a window of its own.
void OpenElsewhere(const char* uri) {
  if (uri == nullptr || *uri == '\0' || g_str_equal(uri, "about:blank")) return;
  g_app_info_launch_default_for_uri_async(uri, nullptr, nullptr, FinishLaunch, nullptr);
}

const char* RequestUri(WebKitNavigationAction* action) {
  WebKitURIRequest* request = engine->actionRequest(action);
  return request == nullptr ? nullptr : engine->requestUri(request);
}

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
  return Guarded(FALSE, [&]() -> gboolean {
    const auto* state = static_cast<const WebViewState*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      if (Raise(state, HtmlViewerEvent::WillNavigate)) return FALSE;  // the engine goes ahead
      engine->ignore(decision);
      return TRUE;
    }
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      auto* navigation = G_TYPE_CHECK_INSTANCE_CAST(decision, engine->navigationDecisionType(),
                                                    WebKitNavigationPolicyDecision);
      WebKitNavigationAction* action = engine->decisionAction(navigation);
      const bool allowed = Raise(state, HtmlViewerEvent::WillOpenNewWindow);
      // This view supplies no window of its own either way.
      const std::string uri = RequestUri(action) == nullptr ? "" : RequestUri(action);
      engine->ignore(decision);
      if (allowed) OpenElsewhere(uri.c_str());
      return TRUE;
    }
    return FALSE;
  });
}

// window.open() and the like ask here without a policy decision first.
GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  Guarded([&] {
    const auto* state = static_cast<const WebViewState*>(data);
    if (Raise(state, HtmlViewerEvent::WillOpenNewWindow)) OpenElsewhere(RequestUri(action));
  });
  return nullptr;
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  Guarded([&] {
    const auto* state = static_cast<const WebViewState*>(data);
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        Raise(state, HtmlViewerEvent::DownloadBegin);
        break;
      case WEBKIT_LOAD_REDIRECTED:
        break;  // the redirect's navigation was announced by its policy decision
      case WEBKIT_LOAD_COMMITTED:
        Raise(state, HtmlViewerEvent::NavigationComplete);
        break;
      case WEBKIT_LOAD_FINISHED:
        Raise(state, HtmlViewerEvent::DownloadComplete);
        Raise(state, HtmlViewerEvent::DocumentComplete);
        break;
    }
  });
}

void OnProgress(GObject*, GParamSpec*, gpointer data) {
  Guarded([&] { Raise(static_cast<const WebViewState*>(data), HtmlViewerEvent::ProgressChange); });
}

void OnTitle(GObject*, GParamSpec*, gpointer data) {
  Guarded([&] { Raise(static_cast<const WebViewState*>(data), HtmlViewerEvent::TitleChange); });
}

// The engine's status text is the link under the pointer.
void OnMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data) {
  Guarded([&] {
    auto* state = static_cast<WebViewState*>(data);
    const char* uri = engine->hitIsLink(hit) ? engine->hitLinkUri(hit) : nullptr;
    std::string status = uri == nullptr ? "" : uri;
    if (status == state->hoveredLink) return;
    state->hoveredLink = std::move(status);
    Raise(state, HtmlViewerEvent::StatusTextChange);
  });
}

// Back and forward becoming possible or not: the engine's command state.
void OnHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer data) {
  Guarded(
      [&] { Raise(static_cast<const WebViewState*>(data), HtmlViewerEvent::CommandStateChange); });
}

// Silent: the page's own dialogs are answered as dismissed instead of shown.
gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer data) {
  return static_cast<const WebViewState*>(data)->silent ? TRUE : FALSE;
}

gboolean OnPagePressed(GtkWidget* view, GdkEventButton*, gpointer) {
  SetPageHoldsFocus(view, true);
  return FALSE;  // the page gets the click
}

gboolean PaintWhite(GtkWidget*, cairo_t* cr, gpointer) {
  // Until a page has been shown the engine paints nothing: the view's own area is white.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  return FALSE;
}

void ApplyZoom(const WebViewState& state) {
  if (state.zoomLevel < 0) return;
  WebKitWebView* view = AsEngine(state.view);
  engine->zoomTextOnly(engine->settings(view), TRUE);
  engine->setZoom(view, kZoomSteps[state.zoomLevel]);
}

// Puts the engine in place of the placeholder; false when it cannot be made.
bool MakeEngine(WebViewState& state) {
  if (state.view != nullptr) return true;
  ControlRecord* record = ControlOf(state.wrapper);
  if (record == nullptr || LoadEngine() == nullptr) return false;
  // The user's press of the launch button is what starts the video: let it play with sound.
  GObjectOwner<WebKitWebsitePolicies> policies(
      engine->newPolicies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr));
  GtkWidget* view =
      GTK_WIDGET(g_object_new(engine->webViewType(), "website-policies", policies.get(), nullptr));
  if (view == nullptr) return false;
  state.view = view;
  g_object_steal_data(G_OBJECT(state.wrapper), kStateKey);
  g_object_set_data(G_OBJECT(state.wrapper), kStateKey, &state);
  g_object_set_data_full(G_OBJECT(view), kStateKey, &state, FreeState);

  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), &state);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), &state);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), &state);
  g_signal_connect(view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), &state);
  g_signal_connect(view, "notify::title", G_CALLBACK(OnTitle), &state);
  g_signal_connect(view, "mouse-target-changed", G_CALLBACK(OnMouseTarget), &state);
  g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), &state);
  g_signal_connect(view, "button-press-event", G_CALLBACK(OnPagePressed), nullptr);
  g_signal_connect(engine->history(AsEngine(view)), "changed", G_CALLBACK(OnHistoryChanged),
                   &state);
  ApplyZoom(state);

  GtkWidget* placeholder = record->inner;
  const bool focused = placeholder != nullptr && gtk_widget_has_focus(placeholder);
  record->inner = view;
  if (placeholder != nullptr && placeholder != record->wrapper) gtk_widget_destroy(placeholder);
  gtk_container_add(GTK_CONTAINER(state.wrapper), view);
  gtk_widget_show(view);
  if (focused) gtk_widget_grab_focus(view);
  return true;
}

// The engine is part of the window: without it the window could not have been built, and the
// program ends the same way, only later.
void MakeEngineOrEnd(WebViewState& state) {
  if (!MakeEngine(state)) shell::ReportFatalError("载入启动窗口失败", 0);
}

gboolean MakeEngineWhenIdle(gpointer data) {
  Guarded([&] {
    auto* state = static_cast<WebViewState*>(data);
    if (!liveStates.contains(state)) return;
    // The first frame goes to the X server before the engine's start holds up the loop.
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
    MakeEngineOrEnd(*state);
  });
  return G_SOURCE_REMOVE;
}

// After the window's first frame: the engine is made when nothing else is waiting.
gboolean OnWindowDrawn(GtkWidget* window, cairo_t*, gpointer data) {
  g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(OnWindowDrawn), data);
  g_idle_add_full(G_PRIORITY_LOW, MakeEngineWhenIdle, data, nullptr);
  return FALSE;
}

}  // namespace

Handle PageHandle(GtkWidget* view) {
  WebViewState* state = StateOf(view);
  return state == nullptr ? nullptr : reinterpret_cast<Handle>(state);
}

GtkWidget* ViewOfPage(Handle handle) {
  const auto* state = reinterpret_cast<const WebViewState*>(handle);
  return liveStates.contains(state) ? state->view : nullptr;
}

bool PageHoldsFocus(GtkWidget* view) {
  const WebViewState* state = StateOf(view);
  return state != nullptr && state->pageHoldsFocus;
}

void SetPageHoldsFocus(GtkWidget* view, bool holds) {
  if (WebViewState* state = StateOf(view)) state->pageHoldsFocus = holds;
}

}  // namespace gtk

Handle CreateWebView(Handle parent, ControlIdentity id, Rect place, ControlStyle style) {
  if (!gtk::ToolkitReady()) return nullptr;
  // Takes the focus for the view until the engine is there, then hands it over.
  GtkWidget* placeholder = gtk_drawing_area_new();
  gtk_widget_set_can_focus(placeholder, TRUE);
  gtk::ControlRecord* record =
      gtk::MakeControl(gtk::ControlKind::WebView, parent, id, place, style, placeholder);
  if (record == nullptr) return nullptr;  // the placeholder went with it

  auto* state = new gtk::WebViewState;
  state->id = id;
  state->wrapper = record->wrapper;
  gtk::liveStates.insert(state);
  // The wrapper owns the record until the engine is made; the engine owns it from then on.
  g_object_set_data_full(G_OBJECT(record->wrapper), gtk::kStateKey, state, gtk::FreeState);
  g_signal_connect(record->wrapper, "draw", G_CALLBACK(gtk::PaintWhite), nullptr);
  if (GtkWidget* top = gtk::AsWidget(parent); top != nullptr && GTK_IS_WINDOW(top))
    g_signal_connect_after(top, "draw", G_CALLBACK(gtk::OnWindowDrawn), state);
  return gtk::AsHandle(record->wrapper);
}

void WebSetOffline(Handle view, bool offline) {
  // WebKitGTK has no switch that serves pages from the cache only; off, the only value this
  // program uses, is the engine's normal behaviour. The value is kept with the view.
  if (gtk::WebViewState* state = gtk::StateOfControl(view)) state->offline = offline;
}

void WebSetSilent(Handle view, bool silent) {
  if (gtk::WebViewState* state = gtk::StateOfControl(view)) state->silent = silent;
}

void WebSetZoom(Handle view, int level) {
  gtk::WebViewState* state = gtk::StateOfControl(view);
  if (state == nullptr) return;
  state->zoomLevel = std::clamp(level, 0, 4);
  if (state->view != nullptr) gtk::ApplyZoom(*state);
}

void WebNavigate(Handle view, const char* address) {
  gtk::WebViewState* state = gtk::StateOfControl(view);
  if (state == nullptr) return;
  gtk::MakeEngineOrEnd(*state);
  // The text goes to the engine as it is; for an empty one WebKitGTK shows about:blank.
  gtk::engine->loadUri(gtk::AsEngine(state->view), address == nullptr ? "" : address);
}

}  // namespace quorvel::platform
