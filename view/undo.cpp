#include "view/undo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "acquisition/acquisition.h"
#include "results/session.h"
#include "solutions/measurement.h"
#include "view/mouse.h"

namespace orvane {

// The drawing state an edit of the view may change: the working record's
// ROI and measurement fields byte for byte, its entities up to the last slot
// that is not all zero (the others are zero), and what the results session
// keeps beside them.
struct ViewState {
  uint32_t solution = 0;
  std::vector<uint8_t> regions;
  uint32_t entity_count = 0;
  std::vector<uint8_t> entities;
  uint32_t set_complete = 1;
  std::vector<SnapMark> snaps;
  std::vector<CircleMark> circles;
  std::vector<std::pair<double, double>> gauge_clicks;
  std::array<MeasurementRows, kMaxMeasSets> measurement_rows{};
  bool operator==(const ViewState&) const = default;
};

// What of the results table tells that something outside the history
// changed it.
struct ResultsMark {
  size_t rows = 0;
  uint32_t last = 0;
  uint32_t next_number = 0;
  size_t tolerances = 0;
  std::string next_label;
  bool operator==(const ResultsMark&) const = default;
};

// A results edit as a swap: applying it turns the table into the other state
// and keeps the state it left, so the same change undoes and redoes.
struct ResultsChange {
  std::vector<uint32_t> added;   // rows the edit entered
  std::vector<uint32_t> removed; // rows the edit took out
  // The rows out of the table on the edit's account: the removed ones while
  // it stands, the added ones while it is undone.
  std::vector<ResultRow> held;
  std::vector<ResultRow> replaced; // the other version of rows changed in place
  std::vector<std::pair<std::string, std::optional<Tolerance>>> tolerances;
  std::optional<std::pair<std::map<std::string, uint32_t>, uint32_t>> numbering;
  std::optional<std::string> next_label;
  bool empty() const {
    return added.empty() && removed.empty() && replaced.empty() && tolerances.empty() &&
           !numbering && !next_label;
  }
};

struct UndoEntry {
  std::string what;
  std::optional<ViewState> view; // the other view state
  ResultsChange results;
};

// A press's edit until its release.
struct OpenEdit {
  ViewState before;
  uint32_t mode = 0;
  size_t rows = 0;
  uint32_t next_number = 0;
  std::string next_label;
  std::vector<ResultRow> linked; // the measurement sets' rows as they were
};

struct UndoHistory {
  std::deque<UndoEntry> undo;
  std::deque<UndoEntry> redo;
  // The state the history last left.
  std::optional<ViewState> known_view;
  ResultsMark known_results;
  std::optional<OpenEdit> open;
};

namespace {

constexpr size_t kRegionsBegin = offsetof(SolutionRecord, roi_count);
constexpr size_t kRegionsEnd = offsetof(SolutionRecord, result_point_count);
constexpr uint32_t kModeCircle = static_cast<uint32_t>(MouseMode::Circle);
constexpr uint32_t kModeLine = static_cast<uint32_t>(MouseMode::Line);

bool ZeroEntity(const DrawEntity& e) {
  static const DrawEntity kZero{};
  return std::memcmp(&e, &kZero, sizeof e) == 0;
}

ViewState Capture(Station& st) {
  ViewState v;
  if (!st.working) return v;
  const SolutionRecord& rec = *st.working;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&rec);
  v.solution = st.current_solution;
  v.regions.assign(bytes + kRegionsBegin, bytes + kRegionsEnd);
  size_t extent = kMaxEntities;
  while (extent > 0 && ZeroEntity(rec.entities[extent - 1])) --extent;
  const auto* entities = reinterpret_cast<const uint8_t*>(rec.entities);
  v.entity_count = rec.entity_count;
  v.entities.assign(entities, entities + extent * sizeof(DrawEntity));
  v.set_complete = st.view.set_complete;
  const ResultsSession& session = ResultsOf(st);
  v.snaps = session.snaps;
  v.circles = session.circles;
  v.gauge_clicks = session.gauge_clicks;
  v.measurement_rows = session.measurement_rows;
  return v;
}

void Restore(Station& st, const ViewState& v) {
  SolutionRecord& rec = *st.working;
  auto* bytes = reinterpret_cast<uint8_t*>(&rec);
  std::memcpy(bytes + kRegionsBegin, v.regions.data(), v.regions.size());
  auto* entities = reinterpret_cast<uint8_t*>(rec.entities);
  if (!v.entities.empty()) std::memcpy(entities, v.entities.data(), v.entities.size());
  std::memset(entities + v.entities.size(), 0, sizeof rec.entities - v.entities.size());
  rec.entity_count = v.entity_count;
  st.view.set_complete = v.set_complete;
  st.view.edit = {};
  ResultsSession& session = ResultsOf(st);
  session.snaps = v.snaps;
  session.circles = v.circles;
  session.gauge_clicks = v.gauge_clicks;
  session.measurement_rows = v.measurement_rows;
  session.drag = {};
}

ResultsMark MarkOf(const ResultsTable& t) {
  return {t.rows().size(), t.rows().empty() ? 0 : t.rows().back().number, t.next_number(),
          t.tolerances().size(), t.next_label()};
}

UndoHistory& HistoryOf(Station& st) {
  if (!st.undo) st.undo = std::make_shared<UndoHistory>();
  return *st.undo;
}

void Remember(Station& st, UndoHistory& h) {
  h.known_view = Capture(st);
  h.known_results = MarkOf(ResultsOf(st).table);
}

// Before anything is done: a press whose release never came ends its edit,
// and a history that would restore what something else changed since is
// dropped.
UndoHistory& Prepare(Station& st) {
  UndoHistory& h = HistoryOf(st);
  if (h.open) EndViewEdit(st);
  if (h.undo.empty() && h.redo.empty()) return h;
  if (h.known_view && *h.known_view == Capture(st) &&
      h.known_results == MarkOf(ResultsOf(st).table)) {
    return h;
  }
  h.undo.clear();
  h.redo.clear();
  return h;
}

void Push(Station& st, UndoHistory& h, UndoEntry entry) {
  h.undo.push_back(std::move(entry));
  while (h.undo.size() > kUndoSteps) h.undo.pop_front();
  h.redo.clear();
  Remember(st, h);
}

template <typename T>
T FieldAt(const std::vector<uint8_t>& regions, size_t offset) {
  T value;
  std::memcpy(&value, regions.data() + (offset - kRegionsBegin), sizeof value);
  return value;
}

struct Counts {
  uint32_t rois = 0;
  uint32_t points = 0; // measurement points in all sets
  uint32_t entity_points = 0;
};

Counts CountsOf(const ViewState& v) {
  Counts c;
  c.rois = FieldAt<uint32_t>(v.regions, offsetof(SolutionRecord, roi_count));
  const uint32_t sets = std::min(FieldAt<uint32_t>(v.regions, offsetof(SolutionRecord, meas_count)), kMaxMeasSets);
  for (uint32_t s = 0; s < sets; ++s) {
    c.points += FieldAt<uint32_t>(v.regions, offsetof(SolutionRecord, meas_points) + s * sizeof(uint32_t));
  }
  for (size_t at = 0; at < v.entities.size(); at += sizeof(DrawEntity)) {
    uint32_t n = 0;
    std::memcpy(&n, v.entities.data() + at + offsetof(DrawEntity, point_count), sizeof n);
    c.entity_points += n;
  }
  return c;
}

// Whether the ROIs differ in a size rather than only in place.
bool RoiResized(const ViewState& b, const ViewState& a) {
  const uint32_t n = std::min(FieldAt<uint32_t>(b.regions, offsetof(SolutionRecord, roi_count)), kMaxRois);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t at = offsetof(SolutionRecord, rois) + i * sizeof(RoiRecord);
    const auto rb = FieldAt<RoiRecord>(b.regions, at);
    const auto ra = FieldAt<RoiRecord>(a.regions, at);
    if (rb.width != ra.width || rb.height != ra.height) return true;
  }
  return false;
}

std::string EntityName(uint32_t mode) {
  return mode == kModeCircle ? "circle" : mode == kModeLine ? "line" : "polyline";
}

std::string DescribeViewEdit(const ViewState& b, const ViewState& a, uint32_t mode) {
  const Counts cb = CountsOf(b), ca = CountsOf(a);
  if (a.gauge_clicks != b.gauge_clicks || a.circles != b.circles) return "diameter gauge point";
  if (ca.rois != cb.rois) return ca.rois > cb.rois ? "ROI drawn" : "ROI deleted";
  if (ca.points != cb.points) return "measuring point placed";
  if (a.entity_count != b.entity_count) {
    return EntityName(mode) + (a.entity_count > b.entity_count ? " drawn" : " deleted");
  }
  if (ca.entity_points != cb.entity_points) return "polyline vertex added";
  if (a.entities != b.entities) return EntityName(mode) + " changed";
  if (mode == static_cast<uint32_t>(MouseMode::Roi)) return RoiResized(b, a) ? "ROI resized" : "ROI moved";
  if (a.regions != b.regions) return "measuring point moved";
  return "measurement set ended";
}

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool SameRow(const ResultRow& a, const ResultRow& b) {
  return a.time == b.time && a.label == b.label && SameNumber(a.value, b.value) &&
         a.unit == b.unit && SameNumber(a.uncertainty, b.uncertainty) && a.note == b.note &&
         a.calibration == b.calibration;
}

std::vector<ResultRow> LinkedRows(ResultsSession& session) {
  std::vector<ResultRow> rows;
  for (const MeasurementRows& m : session.measurement_rows) {
    for (const uint32_t number : {m.length[1], m.length[2], m.angle}) {
      if (number == 0) continue;
      if (const ResultRow* row = session.table.Find(number)) rows.push_back(*row);
    }
  }
  return rows;
}

// The rows a view edit entered (numbered from where the table stood at the
// press) and the measurement rows it changed.
ResultsChange ResultsChangeOf(ResultsTable& t, const OpenEdit& open) {
  ResultsChange c;
  const size_t grown = t.rows().size() > open.rows ? t.rows().size() - open.rows : 0;
  for (auto it = t.rows().rbegin(); it != t.rows().rbegin() + static_cast<std::ptrdiff_t>(grown) &&
                                    it->number >= open.next_number;
       ++it) {
    c.added.push_back(it->number);
  }
  for (const ResultRow& before : open.linked) {
    const ResultRow* now = t.Find(before.number);
    if (now != nullptr && !SameRow(*now, before)) c.replaced.push_back(before);
  }
  if (t.next_label() != open.next_label) c.next_label = open.next_label;
  return c;
}

void ApplyResults(ResultsTable& t, ResultsChange& c, bool undoing) {
  for (ResultRow& other : c.replaced) {
    if (ResultRow* row = t.Find(other.number)) std::swap(*row, other);
  }
  for (auto& [label, other] : c.tolerances) {
    const std::optional<Tolerance> now = t.ToleranceOf(label);
    if (other) {
      t.SetTolerance(label, *other);
    } else {
      t.ClearTolerance(label);
    }
    other = now;
  }
  std::vector<ResultRow> out = t.Take(undoing ? c.added : c.removed);
  t.PutBack(std::move(c.held));
  c.held = std::move(out);
  if (c.numbering) {
    auto now = std::make_pair(t.counters(), t.next_number());
    t.SetNumbering(std::move(c.numbering->first), c.numbering->second);
    c.numbering = std::move(now);
  }
  if (c.next_label) {
    std::string now = t.next_label();
    t.SetNextLabel(std::move(*c.next_label));
    c.next_label = std::move(now);
  }
}

void Apply(Station& st, UndoEntry& entry, bool undoing) {
  if (entry.view) {
    const uint32_t rois = st.working->roi_count;
    ViewState now = Capture(st);
    Restore(st, *entry.view);
    entry.view = std::move(now);
    if (st.working->roi_count != rois && st.hooks.show_roi_count) st.hooks.show_roi_count();
    RedrawOverlay(st);
    if (st.image.frame != nullptr) ComposeDisplay(st, st.image.frame);
  }
  if (!entry.results.empty()) {
    ApplyResults(ResultsOf(st).table, entry.results, undoing);
    SaveResults(st);
  }
}

UndoStep Step(Station& st, bool redo) {
  UndoStep step{redo, {}};
  if (!st.working) return step;
  UndoHistory& h = Prepare(st);
  std::deque<UndoEntry>& from = redo ? h.redo : h.undo;
  std::deque<UndoEntry>& to = redo ? h.undo : h.redo;
  if (from.empty()) return step;
  UndoEntry entry = std::move(from.back());
  from.pop_back();
  Apply(st, entry, !redo);
  step.what = entry.what;
  to.push_back(std::move(entry));
  Remember(st, h);
  return step;
}

// Saves the table after a results edit the history keeps.
void PushResults(Station& st, UndoHistory& h, UndoEntry entry) {
  Push(st, h, std::move(entry));
  SaveResults(st);
}

} // namespace

void BeginViewEdit(Station& st) {
  if (!st.working) return;
  UndoHistory& h = Prepare(st);
  OpenEdit& open = h.open.emplace();
  open.before = Capture(st);
  open.mode = st.view.mouse_mode;
  ResultsSession& session = ResultsOf(st);
  open.rows = session.table.rows().size();
  open.next_number = session.table.next_number();
  open.next_label = session.table.next_label();
  open.linked = LinkedRows(session);
}

void EndViewEdit(Station& st) {
  if (!st.undo || !st.undo->open || !st.working) return;
  UndoHistory& h = *st.undo;
  OpenEdit open = std::move(*h.open);
  h.open.reset();
  ViewState after = Capture(st);
  if (after.solution != open.before.solution) {
    // Another solution came in while the button was down: nothing of the
    // old one may be restored into it.
    h.undo.clear();
    h.redo.clear();
    return;
  }
  UndoEntry entry;
  entry.results = ResultsChangeOf(ResultsOf(st).table, open);
  const bool drawn = !(after == open.before);
  if (!drawn && entry.results.empty()) return;
  entry.what = DescribeViewEdit(open.before, after, open.mode);
  if (drawn) entry.view = std::move(open.before);
  h.undo.push_back(std::move(entry));
  while (h.undo.size() > kUndoSteps) h.undo.pop_front();
  h.redo.clear();
  h.known_view = std::move(after);
  h.known_results = MarkOf(ResultsOf(st).table);
}

bool DeleteResults(Station& st, const std::vector<uint32_t>& numbers) {
  UndoHistory& h = Prepare(st);
  UndoEntry entry;
  entry.results.held = ResultsOf(st).table.Take(numbers);
  const size_t n = entry.results.held.size();
  if (n == 0) return false;
  for (const ResultRow& row : entry.results.held) entry.results.removed.push_back(row.number);
  entry.what = n == 1 ? "row " + std::to_string(entry.results.removed[0]) + " deleted"
                      : std::to_string(n) + " rows deleted";
  PushResults(st, h, std::move(entry));
  return true;
}

bool RelabelResult(Station& st, uint32_t number, std::string label) {
  UndoHistory& h = Prepare(st);
  ResultRow* row = ResultsOf(st).table.Find(number);
  if (row == nullptr || row->label == label) return false;
  UndoEntry entry;
  entry.what = "row " + std::to_string(number) + " relabelled";
  entry.results.replaced.push_back(*row);
  row->label = std::move(label);
  PushResults(st, h, std::move(entry));
  return true;
}

void SetResultTolerance(Station& st, const std::string& label, std::optional<Tolerance> tolerance) {
  UndoHistory& h = Prepare(st);
  ResultsTable& t = ResultsOf(st).table;
  const std::optional<Tolerance> old = t.ToleranceOf(label);
  if (old.has_value() == tolerance.has_value() &&
      (!old || std::memcmp(&*old, &*tolerance, sizeof(Tolerance)) == 0)) {
    return;
  }
  UndoEntry entry;
  entry.what = "tolerance of " + label;
  entry.results.tolerances.emplace_back(label, old);
  if (tolerance) {
    t.SetTolerance(label, *tolerance);
  } else {
    t.ClearTolerance(label);
  }
  PushResults(st, h, std::move(entry));
}

bool ClearResults(Station& st) {
  if (!ConfirmClearResults(st)) return false;
  UndoHistory& h = Prepare(st);
  ResultsTable& t = ResultsOf(st).table;
  if (t.rows().empty() && t.counters().empty() && t.next_number() == 1) return true;
  UndoEntry entry;
  entry.what = "results cleared";
  entry.results.numbering.emplace(t.counters(), t.next_number());
  for (const ResultRow& row : t.rows()) entry.results.removed.push_back(row.number);
  entry.results.held = t.Take(entry.results.removed);
  t.Clear();
  PushResults(st, h, std::move(entry));
  return true;
}

UndoStep Undo(Station& st) { return Step(st, false); }
UndoStep Redo(Station& st) { return Step(st, true); }

size_t UndoDepth(const Station& st) { return st.undo ? st.undo->undo.size() : 0; }
size_t RedoDepth(const Station& st) { return st.undo ? st.undo->redo.size() : 0; }

std::optional<UndoStep> OnEditKey(Station& st, int key, uint32_t modifiers) {
  const uint32_t m = modifiers & (kKeyShift | kKeyControl | kKeyAlt);
  if (key == 'Z' && m == kKeyControl) return Undo(st);
  if ((key == 'Z' && m == (kKeyControl | kKeyShift)) || (key == 'Y' && m == kKeyControl)) {
    return Redo(st);
  }
  return std::nullopt;
}

std::string UndoStepText(const UndoStep& step) {
  const char* verb = step.redo ? "redo" : "undo";
  return std::string(verb) + ": " + (step.what.empty() ? std::string("nothing to ") + verb : step.what);
}

} // namespace orvane
