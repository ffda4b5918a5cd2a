// The comparison drawn over the picture: the nominal outline in its fitted
// pose, each point's deviation as a whisker along its normal (magnified),
// coloured by the zone, and the worst point marked with its value.
#include "acquisition/acquisition.h"
#include "cad/session.h"
#include "draw/overlay.h"
#include "inspect/profile.h"

namespace orvane {

void DrawCadOverlay(Station& st) {
  if (!st.cad || !st.cad->drawing || !st.cad->placement) return;
  const CadSession& cad = *st.cad;
  // A comparison measured another picture says nothing of this one.
  const bool current = cad.comparison && cad.compared_picture == PictureFingerprint(st.image);
  DrawDeviations(CanvasOf(st), cad.nominal, *cad.placement, current ? &*cad.comparison : nullptr,
                 cad.tolerance / 2 * cad.px_per_unit, cad.px_per_unit);
}

}  // namespace orvane
