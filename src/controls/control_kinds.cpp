#include "controls/control_kinds.h"

#include <variant>

namespace quorvel::controls {
namespace {

bool EditBoxClaims(const shell::ControlEntry& entry, KeyPress key) {
  const auto* settings = std::get_if<EditBoxSettings>(&entry.settings);
  return settings != nullptr && EditBoxClaimsKey(*settings, key);
}

constexpr KindOps kKinds[] = {
    {shell::Kind::Window, false, true, nullptr, nullptr, nullptr},
    {shell::Kind::EditBox, true, true, EditBoxClaims, CreateEditBoxControl, nullptr},
    {shell::Kind::PicBox, false, true, nullptr, CreatePicBoxControl, nullptr},
    {shell::Kind::Button, true, true, nullptr, CreateButtonControl, nullptr},
    {shell::Kind::HtmlViewer, true, true, nullptr, CreateHtmlViewerControl, nullptr},
};

}  // namespace

std::span<const KindOps> ControlKinds() {
  return kKinds;
}

const KindOps* FindKind(std::span<const KindOps> kinds, shell::Kind kind) {
  for (const KindOps& ops : kinds)
    if (ops.kind == kind) return &ops;
  return nullptr;
}

}  // namespace quorvel::controls
