// Painting text needs a Qt application object; a program without a window
// (orvane-batch) gets one on the offscreen platform the first time it paints.
#pragma once

namespace orvane::paper {

// Creates the application object unless one exists; it lives until the
// process ends.
void EnsureGuiApplication();

} // namespace orvane::paper
