// The shared image operations: publishing a new geometry, acquiring a frame,
// showing it with or without the overlay, and the three acquisition modes.
#pragma once

#include <cstdint>

#include "draw/overlay.h"
#include "station/station.h"

namespace orvane {

enum class AcquisitionMode : uint32_t { Live = 0, Still = 1, File = 2 };

// Hands the current geometry and buffers to the image view, the vision
// library and the measurement engine, in that order.
void PublishGeometry(Station& station);

// A fresh frame: the still file again in File mode, else a camera snapshot.
// Returns the bytes acquired, 0 on failure (the previous pixels stay).
uint32_t AcquireFrame(Station& station);

// display = source with the overlay laid over it; the view then shows it.
// Nothing happens for a null source.
void ComposeDisplay(Station& station, const uint8_t* source);

// display = source without the overlay; the view then shows it.
void ShowFrameRaw(Station& station, const uint8_t* source);

// Shows the live video area (Live) or the image view (Still, File), with the
// mode indicator's text and the highlights of the indicator and of Live.
void SetAcquisitionMode(Station& station, AcquisitionMode mode);

// Clears the overlay of the current image to transparent. False (nothing
// done) while the image has no overlay.
bool ClearOverlay(Station& station);

// The overlay of the current image as the drawing primitives take it, sized
// by the station's mark size class and text background setting.
OverlayCanvas CanvasOf(Station& station);

} // namespace orvane
