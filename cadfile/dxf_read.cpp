// The DXF reader's front half: the group stream, the sections, and each
// entity's groups turned into a shape of its own frame. Expanding inserts
// and flattening curves is in dxf_shapes.cpp.
#include "cadfile/dxf_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "cadfile/dxf_shapes.h"

namespace orvane::cadfile {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The text as a stream of (code, value) groups, one group ahead.
class Groups {
 public:
  explicit Groups(std::string_view text) : text_(text) { Advance(); }

  bool done() const { return done_; }
  int code() const { return code_; }
  std::string_view value() const { return value_; }
  const std::string& error() const { return error_; }
  size_t line() const { return line_; }

  void Advance() {
    if (done_) return;
    std::string_view code_line, value_line;
    if (!NextLine(&code_line)) {
      done_ = true;
      return;
    }
    code_line = Trim(code_line);
    const auto r = std::from_chars(code_line.data(), code_line.data() + code_line.size(), code_);
    if (r.ec != std::errc() || r.ptr != code_line.data() + code_line.size() || code_ < -5 || code_ > 1071) {
      return Stop("line " + std::to_string(line_) + " is no group code");
    }
    if (!NextLine(&value_line)) return Stop("the file ends inside a group");
    value_ = Trim(value_line);
  }
  // A number of a coordinate or size group; refuses NaN and infinity.
  bool Number(double* out) {
    const std::string_view v = value_;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), *out);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isfinite(*out) ||
        std::fabs(*out) > 1e15) {
      Stop("line " + std::to_string(line_) + ": \"" + std::string(v.substr(0, 40)) + "\" is no usable number");
      return false;
    }
    return true;
  }
  bool Integer(int64_t* out) {
    const std::string_view v = value_;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), *out);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) {
      Stop("line " + std::to_string(line_) + ": \"" + std::string(v.substr(0, 40)) + "\" is no whole number");
      return false;
    }
    return true;
  }
  void Stop(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    done_ = true;
  }

 private:
  bool NextLine(std::string_view* out) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *out = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++line_;
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 0;
  int code_ = 0;
  std::string_view value_;
  bool done_ = false;
  std::string error_;
};

bool IsZero(Groups& g, std::string_view what) { return g.code() == 0 && g.value() == what; }

// The fields the taken kinds share: the layer, and the extrusion's sign
// (a negative z mirrors x in the entity's own frame).
bool CommonGroup(Groups& g, Shape& s) {
  double v = 0;
  switch (g.code()) {
    case 8: s.layer = std::string(g.value()); return true;
    case 230:
      if (!g.Number(&v)) return true;
      s.mirror = v < 0;
      return true;
    default: return false;
  }
}

// Group code -> field of the shape: points 10/20, 11/21, sizes, angles.
bool ShapeGroup(Groups& g, Shape& s) {
  double v = 0;
  const int c = g.code();
  const bool number = (c >= 10 && c <= 59) || c == 210 || c == 220;
  if (!number) return false;
  if (!g.Number(&v)) return true;
  switch (c) {
    case 10: s.p.x = v; break;
    case 20: s.p.y = v; break;
    case 11: s.q.x = v; break;
    case 21: s.q.y = v; break;
    case 40: s.r = v; break;
    case 41: s.a0 = v; s.sx = v; break;
    case 42: s.a1 = v; s.sy = v; s.bulge = v; break;
    case 50: s.a0 = v; s.rotation = v; break;
    case 51: s.a1 = v; break;
    case 44: s.dc = v; break;
    case 45: s.dr = v; break;
    default: break;
  }
  return true;
}

// LWPOLYLINE: vertices follow one another, each starting at its 10 group.
void LwVertexGroup(Groups& g, Shape& s, const ReadOptions& o) {
  double v = 0;
  if (g.code() == 10) {
    if (s.vertices.size() >= o.max_vertices) return g.Stop("a polyline has more vertices than the reader takes");
    s.vertices.push_back({});
  }
  if (s.vertices.empty() || (g.code() != 10 && g.code() != 20 && g.code() != 42)) return;
  if (!g.Number(&v)) return;
  Vertex& last = s.vertices.back();
  (g.code() == 10 ? last.x : g.code() == 20 ? last.y : last.bulge) = v;
}

// SPLINE: control points (10/20), fit points (11/21), knots (40), weights
// (41), degree (71), flags (70).
void SplineGroup(Groups& g, Shape& s, const ReadOptions& o) {
  double v = 0;
  const int c = g.code();
  if (c != 10 && c != 20 && c != 11 && c != 21 && c != 40 && c != 41) return;
  if (!g.Number(&v)) return;
  std::vector<Vertex>& list = (c == 11 || c == 21) ? s.fit : s.vertices;
  if (c == 10 || c == 11) {
    if (list.size() >= kMaxSplinePoints) return g.Stop("a spline has more points than the reader takes");
    list.push_back({v, 0, 0});
  } else if (c == 20 || c == 21) {
    if (!list.empty()) list.back().y = v;
  } else {
    std::vector<double>& values = c == 40 ? s.knots : s.weights;
    if (values.size() >= kMaxSplinePoints + 32) return g.Stop("a spline has more knots than the reader takes");
    values.push_back(v);
  }
  (void)o;
}

// Reads one entity's groups up to the next 0 group.
Shape ReadShape(Groups& g, const ReadOptions& o) {
  Shape s;
  s.kind = std::string(g.value().substr(0, 64));
  g.Advance();
  while (!g.done() && g.code() != 0) {
    int64_t n = 0;
    if (CommonGroup(g, s)) {
    } else if (s.kind == "LWPOLYLINE" && g.code() != 70 && g.code() != 90) {
      LwVertexGroup(g, s, o);
    } else if (s.kind == "SPLINE" && g.code() != 70 && g.code() != 71) {
      SplineGroup(g, s, o);
    } else if (g.code() == 2) {
      s.name = std::string(g.value());
    } else if (g.code() == 70 || g.code() == 71) {
      if (g.Integer(&n)) (g.code() == 70 ? s.flags : s.degree) = static_cast<int32_t>(std::clamp<int64_t>(n, -1, 1 << 20));
    } else {
      ShapeGroup(g, s);
    }
    g.Advance();
  }
  return s;
}

// An old-style POLYLINE: its VERTEX entities up to SEQEND.
void ReadPolylineVertices(Groups& g, Shape& s, const ReadOptions& o) {
  while (!g.done() && IsZero(g, "VERTEX")) {
    Shape v = ReadShape(g, o);
    if (v.flags & 16) continue;  // a spline's frame point, not on the curve
    if (s.vertices.size() >= o.max_vertices) return g.Stop("a polyline has more vertices than the reader takes");
    s.vertices.push_back({v.p.x, v.p.y, v.bulge});
  }
  if (IsZero(g, "SEQEND")) ReadShape(g, o);
}

// The entities of a section or block up to its closing 0 group.
void ReadShapes(Groups& g, std::string_view end, std::vector<Shape>& out, const ReadOptions& o,
                size_t* total) {
  while (!g.done() && !(g.code() == 0 && (g.value() == end || g.value() == "ENDSEC" || g.value() == "EOF"))) {
    if (g.code() != 0) {
      g.Advance();
      continue;
    }
    Shape s = ReadShape(g, o);
    if (s.kind == "POLYLINE") ReadPolylineVertices(g, s, o);
    if (++*total > o.max_entities) return g.Stop("the drawing has more entities than the reader takes");
    out.push_back(std::move(s));
  }
}

void ReadHeader(Groups& g, Drawing& d) {
  while (!g.done() && !IsZero(g, "ENDSEC")) {
    const bool units = g.code() == 9 && g.value() == "$INSUNITS";
    g.Advance();
    if (units && !g.done() && g.code() == 70) {
      int64_t n = 0;
      if (g.Integer(&n)) d.insunits = static_cast<int32_t>(std::clamp<int64_t>(n, 0, 1000));
      g.Advance();
    }
  }
}

void ReadBlocks(Groups& g, Blocks& blocks, const ReadOptions& o, size_t* total) {
  while (!g.done() && !IsZero(g, "ENDSEC")) {
    if (!IsZero(g, "BLOCK")) {
      g.Advance();
      continue;
    }
    const Shape head = ReadShape(g, o);
    Block& b = blocks[head.name];
    b.base = head.p;
    b.shapes.clear();
    ReadShapes(g, "ENDBLK", b.shapes, o, total);
    if (IsZero(g, "ENDBLK")) ReadShape(g, o);
  }
}

bool LooksBinary(std::string_view text) {
  return text.substr(0, 22) == std::string_view("AutoCAD Binary DXF\r\n\x1a\0", 22);
}

}  // namespace

std::optional<Drawing> ReadDxf(std::string_view text, const ReadOptions& o, std::string* error) {
  auto refuse = [&](std::string why) -> std::optional<Drawing> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > o.max_bytes) return refuse("the file is larger than the reader takes");
  if (LooksBinary(text)) return refuse("a binary DXF file: save the drawing as ASCII DXF");
  if (!(o.flatness >= 1e-9) || !std::isfinite(o.flatness)) return refuse("no usable flatness");
  Drawing d;
  Blocks blocks;
  std::vector<Shape> top;
  size_t total = 0;
  bool sections = false;
  Groups g(text);
  while (!g.done()) {
    if (!IsZero(g, "SECTION")) {
      g.Advance();
      continue;
    }
    g.Advance();
    if (g.done() || g.code() != 2) continue;
    const std::string name(g.value());
    g.Advance();
    sections = true;
    if (name == "HEADER") ReadHeader(g, d);
    if (name == "BLOCKS") ReadBlocks(g, blocks, o, &total);
    if (name == "ENTITIES") ReadShapes(g, "ENDSEC", top, o, &total);
  }
  if (!g.error().empty()) return refuse(g.error());
  if (!sections) return refuse("no DXF sections: not a DXF drawing");
  std::string why;
  if (!ExpandShapes(top, blocks, o, d, &why)) return refuse(why);
  return d;
}

std::optional<Drawing> ReadDxfFile(const std::string& path, const ReadOptions& o, std::string* error) {
  auto refuse = [&](std::string why) -> std::optional<Drawing> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refuse(std::strerror(errno));
  struct stat st {};
  std::string text;
  std::string why;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > o.max_bytes) {
    why = "the file is larger than the reader takes";
  } else {
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    text.resize(got);
  }
  ::close(fd);
  if (!why.empty()) return refuse(why);
  return ReadDxf(text, o, error);
}

double MillimetresPerUnit(int32_t code) {
  switch (code) {
    case 1: return 25.4;
    case 2: return 304.8;
    case 3: return 1609344.0;
    case 4: return 1.0;
    case 5: return 10.0;
    case 6: return 1000.0;
    case 7: return 1e6;
    case 8: return 25.4e-6;
    case 9: return 0.0254;
    case 10: return 914.4;
    case 11: return 1e-7;
    case 12: return 1e-6;
    case 13: return 1e-3;
    case 14: return 100.0;
    default: return 0.0;
  }
}

namespace {
struct UnitNameCode {
  const char* name;
  int32_t code;
};
constexpr UnitNameCode kUnitNames[] = {{"in", 1}, {"ft", 2},  {"mm", 4},  {"cm", 5},
                                       {"m", 6},  {"mil", 9}, {"um", 13}, {"dm", 14}};
}  // namespace

std::string UnitName(int32_t code) {
  for (const UnitNameCode& u : kUnitNames) {
    if (u.code == code) return u.name;
  }
  return {};
}

int32_t UnitCode(std::string_view name) {
  for (const UnitNameCode& u : kUnitNames) {
    if (name == u.name) return u.code;
  }
  return 0;
}

std::string LeftOutText(const Drawing& d) {
  std::string text;
  for (const auto& [kind, count] : d.left_out) {
    text += (text.empty() ? "left out: " : ", ") + std::to_string(count) + " " + kind;
  }
  return text;
}

}  // namespace orvane::cadfile
