// The deviations at the fitted placement: every nominal point measured,
// figures per entity and over the whole profile, corners apart.
#include <charconv>
#include <cmath>

#include "cadfit/fit.h"

namespace orvane::cad {
namespace {

// Running figures of one group of points.
struct Running {
  double sum2 = 0, worst = -1;
  void Take(Deviation& d, double dev, int64_t index) {
    if (d.points == 0 || dev > d.max) d.max = dev;
    if (d.points == 0 || dev < d.min) d.min = dev;
    if (std::fabs(dev) > worst) {
      worst = std::fabs(dev);
      d.worst = index;
    }
    ++d.points;
    sum2 += dev * dev;
  }
  void Finish(Deviation& d) const { d.rms = d.points ? std::sqrt(sum2 / d.points) : 0.0; }
};

}  // namespace

Comparison Compare(const qgImage& image, const Nominal& n, const Placement& pl, const MeasureSettings& s) {
  Comparison c;
  MeasurePoints(image, pl, n, {}, s, c.points);
  c.entities.assign(n.side.size(), Deviation{});
  std::vector<Running> running(n.side.size());
  Running all;
  for (size_t i = 0; i < n.points.size(); ++i) {
    const NominalPoint& q = n.points[i];
    Deviation& e = c.entities[q.entity];
    if (q.corner) {
      ++e.corners;
      ++c.all.corners;
    } else if (!c.points[i].found) {
      ++e.missing;
      ++c.all.missing;
    } else {
      running[q.entity].Take(e, c.points[i].deviation, static_cast<int64_t>(i));
      all.Take(c.all, c.points[i].deviation, static_cast<int64_t>(i));
    }
  }
  for (size_t k = 0; k < c.entities.size(); ++k) running[k].Finish(c.entities[k]);
  all.Finish(c.all);
  return c;
}

bool Passes(const Deviation& d, double half) {
  return d.points > 0 && d.missing == 0 && d.max <= half && d.min >= -half;
}

std::string Fixed(double v, int decimals) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "nan";
  std::string text(buffer, r.ptr);
  // A value that rounds to zero is written without a sign.
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string SignedNumber(double value) {
  const std::string text = Fixed(std::fabs(value), 4);
  return (value < 0 && text.find_first_not_of("0.") != std::string::npos ? "-" : "+") + text;
}

std::string FiguresText(const Deviation& d, double unit_px) {
  return "max " + SignedNumber(d.max / unit_px) + " min " + SignedNumber(d.min / unit_px) + " rms " +
         Fixed(d.rms / unit_px, 4);
}

}  // namespace orvane::cad
