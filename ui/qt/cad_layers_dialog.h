// The drawing's layers to compare: one check box a layer, with the curves on
// it, every one ticked at first.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

namespace orvane::qt {

// The layers ticked (empty when all are: every layer, as without a
// choice); nothing when the user cancelled. A drawing of one layer or none
// asks nothing.
std::optional<std::vector<std::string>> AskDrawingLayers(QWidget* parent,
                                                         const std::map<std::string, uint32_t>& layers);

} // namespace orvane::qt
