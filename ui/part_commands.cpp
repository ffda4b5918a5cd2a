#include "ui/part_commands.h"

#include "acquisition/acquisition.h"
#include "inspect/program_session.h"
#include "results/trace_file.h"
#include "solutions/measurement.h"
#include "view/part_identity.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

// The result line is narrow: it gets the gist, a note the whole of it.
void Say(Station& st, const std::string& gist, const std::string& whole) {
  st.surface().SetText(ControlId::ResultLine, gist);
  if (!whole.empty()) st.surface().ShowNote(whole);
}

// The overlay drawn again with the part's marks as they now are.
void ShowMarks(Station& st) {
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
  st.surface().InvalidateWindow(false);
}

// "Part found at X, Y, turned ANGLE deg, score S", and the score alone.
std::string FoundText(const PartPose& pose, std::string* score) {
  const std::string words = PartPoseWords(pose); // "X Y ANGLE SCORE"
  const size_t a = words.find(' '), b = words.find(' ', a + 1), c = words.find(' ', b + 1);
  *score = words.substr(c + 1);
  return "Part found at " + words.substr(0, a) + ", " + words.substr(a + 1, b - a - 1) + ", turned " +
         words.substr(b + 1, c - b - 1) + " deg, score " + *score;
}

} // namespace

std::optional<PartRect> CurrentRoiRect(const Station& st) {
  const SolutionRecord* rec = st.working.get();
  if (rec == nullptr || rec->roi_count == 0 || rec->roi_count > kMaxRois) return std::nullopt;
  RoiRecord roi{};
  if (!ClampRoiToImage(rec->rois[rec->roi_count - 1], st.image.width, st.image.height, &roi)) {
    return std::nullopt;
  }
  return PartRect{double(roi.left), double(roi.top), roi.right + 1.0, roi.bottom + 1.0};
}

bool TeachPart(Station& st, PartRect rect, std::string* why) {
  PartSession& part = PartOf(st);
  if (!part.Teach(rect, why)) {
    Say(st, "Part not taught", "Part not taught: " + *why);
    return false;
  }
  int32_t points = 0;
  qgPartModelInfo(part.model(), &points, nullptr, nullptr, nullptr);
  Say(st, "Part taught: " + std::to_string(points) + " points", {});
  // Marks of the model taught before would not match the new one.
  if (!part.shown.empty()) {
    part.shown.clear();
    ShowMarks(st);
  }
  return true;
}

void TeachPartCommand(Station& st) {
  const std::optional<PartRect> rect = CurrentRoiRect(st);
  if (!rect) {
    Say(st, "Part not taught", "Part not taught: draw an ROI around the part first");
    return;
  }
  std::string why;
  TeachPart(st, *rect, &why);
}

std::vector<PartPose> FindPart(Station& st, bool all, std::string* why) {
  PartSession& part = PartOf(st);
  std::vector<PartPose> found = part.Find(all, why);
  const bool had_marks = !part.shown.empty();
  part.shown = found;
  part.shown_picture = found.empty() ? 0 : PictureFingerprint(st.image);
  if (!why->empty()) {
    Say(st, "Part not found", "Part not searched: " + *why);
  } else if (found.empty()) {
    Say(st, "Part not found", {});
  } else {
    std::string score;
    const std::string whole = FoundText(found.front(), &score);
    Say(st, "Part found: score " + score, whole);
  }
  if (had_marks || !found.empty()) ShowMarks(st);
  return found;
}

void FindPartCommand(Station& st) {
  std::string why;
  FindPart(st, false, &why);
}

bool CodeRegionFromRoi(Station& st, std::string* why) {
  const std::optional<PartRect> rect = CurrentRoiRect(st);
  if (!rect) return *why = "draw an ROI around the part's code first", false;
  return SetCodeRegion(st, CodeRegion{rect->x0, rect->y0, rect->x1 - rect->x0, rect->y1 - rect->y0}, why);
}

std::optional<std::string> UseNextRunningIdentity(Station& st, std::string_view prefix, std::string* why) {
  std::optional<std::string> identity = NextRunningIdentity(st, prefix, why);
  if (identity) SetPartIdentity(st, *identity);
  return identity;
}

} // namespace orvane
