#include "controls/pic_box.h"

#include <variant>

#include "controls/control_kinds.h"
#include "controls/picture.h"

namespace quorvel::controls {

platform::Handle CreatePicBoxControl(platform::Handle parent, shell::ControlInstance& control,
                                     ControlIdentity id, platform::ControlStyle style) {
  const auto* settings = std::get_if<PicBoxSettings>(&control.stored->settings);
  if (settings == nullptr) return nullptr;
  // Neither picture nor background changes while the box lives, so the composed picture is
  // prepared once here and painting only copies it.
  const Colour background = settings->background.value_or(platform::ButtonFaceColour());
  platform::PixelBuffer picture;
  if (settings->picture == PictureSource::SplashPicture)
    picture = PreparePicture(platform::SplashPictureBytes(), background);
  return platform::CreatePicBox(parent, id, control.stored->place, style, background, picture);
}

void SetPicBoxVisible(ControlIdentity box, int visible) {
  shell::ControlInstance* control = shell::FindControl(box);
  if (control == nullptr || control->native == nullptr) return;
  control->visible = visible != 0;
  platform::SetControlVisible(control->native, control->visible);
}

}  // namespace quorvel::controls
