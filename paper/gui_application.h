// What every painter of files here needs: a Qt application object (painting
// text needs one; a program without a window, orvane-batch, gets one on the
// offscreen platform the first time it paints), and its bytes saved whole.
#pragma once

#include <filesystem>
#include <string>

#include <QByteArray>

namespace orvane::paper {

// Writes the bytes to `path` whole or not at all (workspace/files.h); false,
// with the reason in *why.
bool SaveWhole(const QByteArray& bytes, const std::filesystem::path& path, std::string* why);

// Creates the application object unless one exists; it lives until the
// process ends.
void EnsureGuiApplication();

} // namespace orvane::paper
