#include "ui/cad_command.h"

#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "cad/session.h"
#include "solutions/measurement.h"

namespace orvane {

bool DrawingNamesUnit(const std::filesystem::path& path) {
  std::string error;
  const std::optional<cadfile::Drawing> d = cadfile::ReadDxfFile(path.string(), {}, &error);
  return d && cadfile::MillimetresPerUnit(d->insunits) > 0;
}

void CompareWithDrawing(Station& st, const std::filesystem::path& path, std::string_view unit, double tolerance) {
  std::vector<std::string> lines;
  std::string fit;
  std::optional<std::string> problem = LoadCadDrawing(st, path, unit, &lines);
  if (!problem) problem = FitCadDrawing(st, &fit);
  if (!problem) problem = CompareCadDrawing(st, tolerance, &lines);
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
  std::string text;
  if (problem) {
    text = "The drawing was not compared: " + *problem + ".";
  } else {
    lines.insert(lines.begin() + (lines.size() > 3 ? 3 : 0), fit);
    for (const std::string& l : lines) text += l + "\n";
  }
  st.surface().MessageBox(text, "Compare with Drawing", MessageButtons::Ok);
}

}  // namespace orvane
