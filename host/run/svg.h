// Drawing areas as SVG images, so that what a dialog drew can be looked at.
#pragma once

#include <string>

#include "vlm/forms.h"

namespace vlm::host {

// The recorded drawing of a picture box as an SVG image of the box's pixel size: its
// background, then each line and rectangle mapped from the box's user scale (Scale) to
// pixels. Without a Scale the user scale is pixels. Lines and rectangle outlines take the
// fore colour (black until set); rectangles are filled only after a fill colour is set.
std::string PictureToSvg(const PictureBox& picture);

// The file name of a drawing area of a form: "<form>.<control>.svg", with "-<n>" after the
// form for its n-th showing (n > 1) and "-<index>" after a control of an array.
std::string PictureFileName(const Form& form, int showing, const PictureBox& picture);

}  // namespace vlm::host
