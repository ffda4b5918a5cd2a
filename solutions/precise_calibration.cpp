#include "solutions/precise_calibration.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "acquisition/file_mode.h"
#include "results/csv.h"
#include "results/session.h"
#include "solutions/calibration.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

constexpr uint32_t kAutoCalibrationId = 1;
constexpr double kDefaultDistance = 24.0; // inches, the calibration solutions' default

std::string UnitOf(const Settings& s) { return s.units == 1 ? "cm" : "in"; }

// A scale of pixels per inch in the current unit, as the calibration rows
// give it.
std::string PerUnit(const Settings& s, double per_inch, int decimals) {
  return FixedText(per_inch / s.unit_factor, decimals) + " px/" + UnitOf(s);
}

// An uncertainty: two significant digits are all it has.
std::string Uncertainty(double v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 2);
  return std::string(buffer, r.ptr);
}

// File mode's cleared stand-in picture, before a file is loaded: nothing
// is measured on it, so its size is no news.
bool ShowsBlankImage(const ImageState& im) {
  return im.file_mode != 0 && im.width == kBlankWidth && im.height == kBlankHeight && im.frame != nullptr &&
         std::all_of(im.frame, im.frame + im.size, [](uint8_t b) { return b == 0; });
}

void Say(ResultsSession& session, const std::string& text) {
  session.notice = text;
  session.pending_notices.push_back(text);
  if (session.changed) session.changed();
}

} // namespace

std::optional<RingCalibration> MeasureRingOnPicture(Station& st, std::string* why) {
  const ImageState& im = st.image;
  if (im.frame == nullptr || im.width == 0 || im.height == 0) {
    *why = "no picture";
    return std::nullopt;
  }
  const qgImage image{im.frame, static_cast<int32_t>(im.width), static_cast<int32_t>(im.height),
                      static_cast<int32_t>(im.stride), static_cast<int32_t>(im.bytes_per_pixel)};
  RingSearchBox box;
  const SolutionRecord* rec = st.working.get();
  RoiRecord roi;
  if (rec != nullptr && rec->id == kAutoCalibrationId && rec->roi_count > 0 &&
      ClampRoiToImage(rec->rois[0], im.width, im.height, &roi)) {
    box = {roi.left, roi.top, roi.right, roi.bottom};
  }
  return MeasureRing(image, box, why);
}

double CalibrationDistanceNow(const Station& st) {
  const SolutionRecord* rec = st.working.get();
  if (rec != nullptr && (rec->id == 1 || rec->id == 2) && rec->params[0].value > 0.0f &&
      std::isfinite(rec->params[0].value)) {
    return rec->params[0].value / st.engine.unit_factor;
  }
  if (st.settings.calibrated != 0 && st.settings.calibration_distance > 0.0) return st.settings.calibration_distance;
  return kDefaultDistance;
}

void OfferPreciseCalibration(Station& st) {
  ResultsSession& session = ResultsOf(st);
  const Settings& s = st.settings;
  std::string why;
  const std::optional<RingCalibration> ring = MeasureRingOnPicture(st, &why);
  std::string note;
  if (!ring) {
    session.precise_offer = {};
    note = "precise ring calibration: " + why;
  } else {
    const double threshold = st.engine.scale_x;
    session.precise_offer = {ring->scale, ring->sigma, st.engine.calibration_distance, st.image.width,
                             st.image.height, RingNote(*ring)};
    note = "precise ring " + PerUnit(s, ring->scale, 4) + " u " + Uncertainty(ring->sigma / s.unit_factor) +
           " (" + RingNote(*ring) + "; Auto Calibration reads " +
           FixedText(100.0 * (threshold / ring->scale - 1.0), 2) + " %)";
    if (session.table.precise_calibration) {
      st.engine.scale_x = st.engine.scale_y = ring->scale;
      st.engine.scale_third = 0.0;
      session.calibration_sigma = ring->sigma / s.unit_factor;
      session.precise_offer = {};
      note += ", used in place of " + PerUnit(s, threshold, 4);
    } else {
      note += ", offered";
    }
  }
  if (!session.calibration_note.empty()) session.calibration_note += ", ";
  session.calibration_note += note;
  Say(session, "Auto Calibration: " + note);
}

void ApplyPreciseCalibration(Station& st, const CalibrationOffer& offer, const char* method) {
  EngineSettings& e = st.engine;
  e.scale_x = e.scale_y = offer.scale;
  e.scale_third = 0.0;
  e.calibration_distance = offer.distance;
  ResultsSession& session = ResultsOf(st);
  session.calibration_sigma = offer.sigma / st.settings.unit_factor;
  session.calibration_note = offer.note;
  session.precise_offer = {};
  CommitCalibration(st, method);
}

std::optional<std::string> PreciseRingCalibration(Station& st) {
  std::string why;
  const std::optional<RingCalibration> ring = MeasureRingOnPicture(st, &why);
  if (!ring) return why;
  ApplyPreciseCalibration(st, {ring->scale, ring->sigma, CalibrationDistanceNow(st), st.image.width, st.image.height,
                               RingNote(*ring)},
                          "precise ring");
  return std::nullopt;
}

std::optional<std::string> UsePreciseOffer(Station& st) {
  const CalibrationOffer offer = ResultsOf(st).precise_offer;
  if (!(offer.scale > 0.0)) return std::string("no precise calibration is offered: run Auto Calibration first");
  if (offer.width != st.image.width || offer.height != st.image.height) {
    return "the precise calibration was read on a picture of " + std::to_string(offer.width) + " x " +
           std::to_string(offer.height) + ", not this one";
  }
  ApplyPreciseCalibration(st, offer, "precise ring, offered by Auto Calibration");
  return std::nullopt;
}

std::string ScaleLine(Station& st) {
  const Settings& s = st.settings;
  const ResultsTable& table = ResultsOf(st).table;
  double sigma = kUnknown;
  const auto& rows = table.rows();
  const auto cal = std::find_if(rows.rbegin(), rows.rend(), [](const ResultRow& r) { return r.kind == kKindCalibration; });
  if (cal != rows.rend()) sigma = cal->uncertainty;
  const std::string u = std::isnan(sigma) ? std::string("unknown") : Uncertainty(sigma);
  return "scale " + ResultNumber(s.scale_x / s.unit_factor) + " u " + u + " px/" + UnitOf(s);
}

void AddNotice(Station& st, const std::string& text, double value, const std::string& unit) {
  ResultRow row;
  row.kind = kKindNotice;
  row.value = value;
  row.unit = unit;
  row.note = text;
  AddResult(st, std::move(row));
  Say(ResultsOf(st), text);
}

void SayRescaledCalibration(Station& st) {
  const Settings& s = st.settings;
  if (s.calibrated == 0 || !(s.unit_factor > 0.0) || ShowsBlankImage(st.image)) return;
  ResultsSession& session = ResultsOf(st);
  // Said once a scale: coming back to the scale last said (at first, the
  // calibration's own) after the blank image is no news.
  const double said = std::isnan(session.announced_scale) ? s.calibrated_scale_x : session.announced_scale;
  if (s.scale_x == said) return;
  session.announced_scale = s.scale_x;
  const std::string text = "calibration rescaled for " + std::to_string(st.image.width) + " \xC3\x97 " +
                           std::to_string(st.image.height) + ": " + PerUnit(s, s.scale_x, 2);
  AddNotice(st, text, s.scale_x / s.unit_factor, "px/" + UnitOf(s));
}

} // namespace orvane
