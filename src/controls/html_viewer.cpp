#include "controls/html_viewer.h"

#include <algorithm>
#include <variant>

#include "controls/control_kinds.h"
#include "shell/event_delivery.h"
#include "shell/native_events.h"

namespace quorvel::controls {

platform::Handle CreateHtmlViewerControl(platform::Handle parent, shell::ControlInstance& control,
                                         ControlIdentity id, platform::ControlStyle style) {
  const auto* settings = std::get_if<HtmlViewerSettings>(&control.stored->settings);
  if (settings == nullptr) return nullptr;
  const platform::Handle view = platform::CreateWebView(parent, id, control.stored->place, style);
  if (view == nullptr) return nullptr;
  platform::WebSetOffline(view, settings->offline);
  platform::WebSetSilent(view, settings->silent);
  platform::WebSetZoom(view, std::clamp(settings->fontSize, kFontSizeSmallest, kFontSizeLargest));
  control.address = settings->url;
  // An empty stored address requests nothing: the view shows no page until one is set.
  if (!control.address.empty()) platform::WebNavigate(view, control.address.c_str());
  return view;
}

void SetHtmlAddress(ControlIdentity view, const char* address) {
  shell::ControlInstance* control = shell::FindControl(view);
  if (control == nullptr || control->native == nullptr) return;
  control->address = address == nullptr ? "" : address;
  // Untested on purpose: an empty text navigates to an empty address, a repeat navigates again.
  platform::WebNavigate(control->native, control->address.c_str());
}

bool OnHtmlViewerEvent(ControlIdentity view, HtmlViewerEvent event) {
  return !shell::DeliverEvent(view.window, view.control, static_cast<int>(event)).refused();
}

}  // namespace quorvel::controls
