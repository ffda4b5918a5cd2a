#include "inspect/program_draw.h"

#include <algorithm>
#include <cmath>

#include "acquisition/acquisition.h"
#include "acquisition/pixels.h"
#include "inspect/program_session.h"

namespace orvane {
namespace {

constexpr double kFullCircle = 6.2831854;
constexpr double kArcStep = 0.01;
constexpr double kFrameAxis = 40.0; // px of each drawn axis of the part's frame
constexpr uint32_t kLargestSizeClass = 3;
constexpr Rgb kFrameColour{255, 255, 255};

Rgb ColourOf(Verdict v) {
  return v == Verdict::Pass ? kPassColour : v == Verdict::Fail ? kFailColour : kNoToleranceColour;
}

// Gauge library coordinates to the overlay's pixel.
int32_t Px(double v) { return TruncToPixel(v); }

void Segment(const OverlayCanvas& c, double x0, double y0, double x1, double y1, Rgb colour) {
  DrawLine(c, Px(x0), Px(y0), Px(x1), Px(y1), colour);
}

void DrawFeature(const OverlayCanvas& c, const FeatureResult& f, Rgb colour) {
  if (!f.ok) return;
  switch (f.kind) {
    case StepKind::Circle:
      DrawArc(c, Px(f.x), Px(f.y), f.radius, 0.0, kFullCircle, kArcStep, colour);
      DrawDot(c, Px(f.x), Px(f.y), colour);
      break;
    case StepKind::Point:
      DrawRingMark(c, Px(f.x), Px(f.y), colour);
      break;
    default:
      Segment(c, f.x0, f.y0, f.x1, f.y1, colour);
      DrawDot(c, Px(f.x0), Px(f.y0), colour);
      DrawDot(c, Px(f.x1), Px(f.y1), colour);
  }
}

// Where a feature stands for a distance: its point, or its segment's middle.
void Anchor(const FeatureResult& f, double* x, double* y) {
  const bool segment = f.kind == StepKind::Line;
  *x = segment ? 0.5 * (f.x0 + f.x1) : f.x;
  *y = segment ? 0.5 * (f.y0 + f.y1) : f.y;
}

// The foot of (x, y) on a line feature.
void Foot(const FeatureResult& line, double x, double y, double* fx, double* fy) {
  const double s = (x - line.x) * line.dx + (y - line.y) * line.dy;
  *fx = line.x + s * line.dx;
  *fy = line.y + s * line.dy;
}

// The two ends a distance is drawn between, and where its text goes.
void DistanceEnds(const FeatureResult& a, const FeatureResult& b, double (&e)[4]) {
  Anchor(a, &e[0], &e[1]);
  if (b.kind == StepKind::Line) {
    Foot(b, e[0], e[1], &e[2], &e[3]);
  } else if (a.kind == StepKind::Line) {
    Anchor(b, &e[2], &e[3]);
    Foot(a, e[2], e[3], &e[0], &e[1]);
  } else {
    Anchor(b, &e[2], &e[3]);
  }
}

void DrawFrame(const OverlayCanvas& c, const PartPose& pose) {
  double x = 0, y = 0, ax = 0, ay = 0, bx = 0, by = 0;
  PartToPicture(pose, 0, 0, &x, &y);
  PartToPicture(pose, kFrameAxis, 0, &ax, &ay);
  PartToPicture(pose, 0, kFrameAxis, &bx, &by);
  Segment(c, x, y, ax, ay, kFrameColour);
  Segment(c, x, y, bx, by, kFrameColour);
  DrawText(c, Px(ax) + 3, Px(ay) - 3, "x", kFrameColour);
  DrawText(c, Px(bx) + 3, Px(by) + 3, "y", kFrameColour);
}

// A dimension's mark and text: a circle's or width's own gauge, a line
// between a distance's features, an angle's text at its first line.
void DrawDimension(const OverlayCanvas& c, const Program& program, const ProgramRun& run,
                   const DimensionResult& d, const RunText& text) {
  const ProgramStep& step = program.steps[d.step];
  const FeatureResult* a = &run.features[d.step];
  const FeatureResult* b = nullptr;
  if (PointsOf(step.kind) == 0) {
    for (size_t i = 0; i < program.steps.size(); ++i) {
      if (program.steps[i].label == step.a) a = &run.features[i];
      if (program.steps[i].label == step.b) b = &run.features[i];
    }
  }
  double x = a->ok ? a->x : run.pose.x, y = a->ok ? a->y : run.pose.y;
  if (step.kind == StepKind::Distance && b != nullptr && a->ok && b->ok) {
    double e[4];
    DistanceEnds(*a, *b, e);
    Segment(c, e[0], e[1], e[2], e[3], text.colour);
    x = 0.5 * (e[0] + e[2]);
    y = 0.5 * (e[1] + e[3]);
  } else if (step.kind == StepKind::Circle || step.kind == StepKind::Width) {
    DrawFeature(c, *a, text.colour);
    if (step.kind == StepKind::Circle) x += a->radius * 0.7071, y -= a->radius * 0.7071;
  } else if (step.kind == StepKind::Profile) {
    // Above the worst point, whose value is written below it.
    y -= MarkScale(c.mark_size_class) * 8 / 5 + 8;
  } else if (a->ok) {
    Anchor(*a, &x, &y);
  }
  DrawText(c, Px(x) + 4, Px(y) + 4, d.label, text.colour);
}

// The verdict in large letters at the top left, and below it one line a
// dimension with its value (the gauges carry only their labels, so that
// values never overlap).
void DrawVerdictAndValues(const OverlayCanvas& small, const ProgramRun& run) {
  OverlayCanvas large = small;
  const RunText verdict = VerdictText(run);
  // As large as it goes while the whole word fits across the picture.
  large.mark_size_class = std::min(small.mark_size_class + 2, kLargestSizeClass);
  const auto letters = static_cast<int32_t>(verdict.text.size());
  while (large.mark_size_class > small.mark_size_class &&
         8 + MarkScale(large.mark_size_class, letters) > static_cast<int64_t>(small.width)) {
    --large.mark_size_class;
  }
  DrawText(large, 8, 8, verdict.text, verdict.colour);
  // Glyphs are about 1.6 advances high.
  int32_t y = 8 + MarkScale(large.mark_size_class) * 8 / 5 + 8;
  for (const RunText& t : DimensionTexts(run)) {
    DrawText(small, 8, y, t.text, t.colour);
    y += MarkScale(small.mark_size_class) * 8 / 5 + 2;
  }
}

} // namespace

RunText VerdictText(const ProgramRun& run) {
  if (!run.found) return {"NOT FOUND", kFailColour};
  return run.pass ? RunText{"PASS", kPassColour} : RunText{"FAIL", kFailColour};
}

std::vector<RunText> DimensionTexts(const ProgramRun& run) {
  std::vector<RunText> out;
  for (const DimensionResult& d : run.dimensions) {
    out.push_back({d.label + " " + (d.measured ? ProgramNumber(d.value, d.unit) + " " + d.unit : "not measured"),
                   ColourOf(d.verdict)});
  }
  return out;
}

void DrawProgramRun(Station& st) {
  if (!st.program || !st.program->last_run || !st.program->program) return;
  DrawRun(CanvasOf(st), *st.program->program, *st.program->last_run);
}

void DrawRunOnPicture(uint8_t* bgr, uint32_t width, uint32_t height, uint32_t stride, const Program& program,
                      const ProgramRun& run) {
  if (bgr == nullptr || stride < width * 3) return;
  const size_t size = size_t{stride} * height;
  std::vector<uint8_t> overlay(size, 0);
  OverlayCanvas canvas;
  canvas.pixels = overlay.data();
  canvas.width = width;
  canvas.height = height;
  canvas.stride = stride;
  canvas.mark_size_class = MarkSizeClass(width, height);
  DrawRun(canvas, program, run);
  ComposeBytes(bgr, overlay.data(), bgr, size);
}

void DrawRun(const OverlayCanvas& whole, const Program& program, const ProgramRun& run) {
  OverlayCanvas canvas = whole;
  canvas.mark_size_class = canvas.mark_size_class > 0 ? canvas.mark_size_class - 1 : 0;
  if (run.found && run.features.size() == program.steps.size()) {
    if (!run.fixtured) DrawFrame(canvas, run.pose);
    for (size_t i = 0; i < program.steps.size(); ++i) {
      if (!IsDimension(program.steps[i].kind)) DrawFeature(canvas, run.features[i], kFeatureColour);
    }
    for (const ProfileRun& p : run.profiles) {
      if (p.measured) DrawDeviations(canvas, p.nominal, p.placement, &p.comparison, p.half_px, p.px_per_unit);
    }
    const std::vector<RunText> texts = DimensionTexts(run);
    for (size_t i = 0; i < texts.size(); ++i) DrawDimension(canvas, program, run, run.dimensions[i], texts[i]);
  }
  DrawVerdictAndValues(canvas, run);
}

} // namespace orvane
