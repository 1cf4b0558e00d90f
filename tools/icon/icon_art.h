// The program's icon: a little television with a play sign on its screen.
#pragma once

#include <vector>

#include "ico_file.h"

namespace quorvel::icon {

const Palette& IconPalette();

// The 16, 32 and 48 pixel images, each drawn for its own size.
std::vector<IconImage> DrawIconImages();

}  // namespace quorvel::icon
