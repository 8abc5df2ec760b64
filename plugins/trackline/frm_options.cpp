// Trackline's options dialog: the default texture and the shortening of long block names.
#include "trackline/trackline.h"

namespace vlm {

trackline::frmOptions::frmOptions() {
  lblDefTex.SetCaption("Default texture");
  lblDefTex.SetBuddy(&txtDefTex);
  txtDefTex.SetToolTipText(
      "Texture file for materials without one (empty: their shapes are left out)");
  chkShortNames.SetCaption("Shorten long block names");
  chkShortNames.SetToolTipText("Cut block names over 32 characters and number them (name~1)");
}

}  // namespace vlm
