// The keyboard and mouse cheat-sheet: the window's Help menu shows it and
// the README carries the same text.
#pragma once

#include <string>

namespace orvane {

// Lines of "  what you press   what it does" under their headings, '\n'
// between lines, plain ASCII, laid out for a fixed-width face.
std::string KeyboardAndMouseHelp();

} // namespace orvane
