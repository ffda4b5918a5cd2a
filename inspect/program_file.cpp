#include "inspect/program_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "cadfile/dxf_read.h"

namespace orvane {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Bytes of model a model-data line holds (76 base64 characters).
constexpr size_t kModelBytesPerLine = 57;
// Larger than any model the gauge library writes.
constexpr size_t kMaxModelBytes = size_t{1} << 20;
// No picture coordinate or tolerance is this large.
constexpr double kMaxMagnitude = 1e9;

std::string Number(double v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A line's words; a CR (of a CR LF line end) is a blank, so no word holds one.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && Blank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !Blank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// A path or layer name as one word: blanks, controls, '%', '#', quotes and
// backslashes as %XX.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b > 0x20 && b != 0x7F && c != '%' && c != '#' && c != '"' && c != '\\') {
      out.push_back(c);
    } else {
      out += {'%', kHex[b >> 4], kHex[b & 15]};
    }
  }
  return out;
}

// A word back to its text; a control byte must come escaped and NUL not at
// all, so that every text read is one the writer gives back the same.
bool Unescaped(std::string_view word, std::string* out) {
  out->clear();
  for (size_t i = 0; i < word.size(); ++i) {
    const auto b = static_cast<unsigned char>(word[i]);
    if (b < 0x20 || b == 0x7F) return false;
    if (word[i] != '%') {
      out->push_back(word[i]);
      continue;
    }
    unsigned v = 0;
    if (i + 2 >= word.size() || std::from_chars(word.data() + i + 1, word.data() + i + 3, v, 16).ptr !=
                                    word.data() + i + 3 || v == 0) {
      return false;
    }
    out->push_back(static_cast<char>(v));
    i += 2;
  }
  return !out->empty();
}

std::string UnitWord(int32_t code) {
  const std::string name = cadfile::UnitName(code);
  return name.empty() ? std::to_string(code) : name;
}

int32_t UnitOfWord(std::string_view word) {
  int32_t code = cadfile::UnitCode(word);
  if (code == 0) {
    const auto r = std::from_chars(word.data(), word.data() + word.size(), code);
    if (r.ec != std::errc() || r.ptr != word.data() + word.size()) code = 0;
  }
  return cadfile::MillimetresPerUnit(code) > 0 ? code : 0;
}

// The words after "step profile LABEL X Y": the turn, the unit, the file,
// then "minmax" and "layer NAME ..." when so.
std::string ProfileWords(const ProfileSource& p) {
  std::string out = " " + Number(p.angle_deg) + " " + UnitWord(p.unit) + " " + Escaped(p.path);
  if (p.minmax) out += " minmax";
  if (!p.layers.empty()) out += " layer";
  for (const std::string& layer : p.layers) out += " " + Escaped(layer);
  return out;
}

int Sextet(char c) {
  const size_t k = kAlphabet.find(c);
  return k == std::string_view::npos ? -1 : static_cast<int>(k);
}

// Reads the records of one file, keeping what a later record refers to.
class Reader {
 public:
  bool Record(const std::vector<std::string_view>& w, std::string* why) {
    if (!started_) {
      if (w.size() != 2 || w[0] != "orvane-program") return Say(why, "not an inspection program");
      if (w[1] != "1") return Say(why, "format version " + std::string(w[1]) + " is not known");
      started_ = true;
      return true;
    }
    if (ended_) return Say(why, "a record after end");
    if (w[0] == "model") return Model(w, why);
    if (w[0] == "model-data") return ModelData(w, why);
    if (!ModelComplete()) return Say(why, "the part model is cut short");
    if (w[0] == "step") return Step(w, why);
    if (w[0] == "tolerance") return ToleranceRecord(w, why);
    if (w[0] == "part-id") return PartIdRecord(w, why);
    if (w[0] == "end" && w.size() == 1) return Finish(why);
    return Say(why, "unknown record \"" + std::string(w[0]) + "\"");
  }
  bool ended() const { return ended_; }
  Program& program() { return program_; }

 private:
  static bool Say(std::string* why, std::string text) {
    *why = std::move(text);
    return false;
  }
  static bool Value(std::string_view w, double* out) {
    const auto r = std::from_chars(w.data(), w.data() + w.size(), *out);
    return r.ec == std::errc() && r.ptr == w.data() + w.size() && std::isfinite(*out) &&
           std::fabs(*out) <= kMaxMagnitude;
  }
  bool ModelComplete() const { return !has_model_ || program_.model.size() == model_size_; }

  bool Model(const std::vector<std::string_view>& w, std::string* why) {
    if (has_model_ || !program_.steps.empty()) return Say(why, "a model record out of place");
    size_t n = 0;
    const auto r = w.size() == 2 ? std::from_chars(w[1].data(), w[1].data() + w[1].size(), n)
                                 : std::from_chars_result{nullptr, std::errc::invalid_argument};
    if (r.ec != std::errc() || r.ptr != w[1].data() + w[1].size() || n == 0 || n > kMaxModelBytes) {
      return Say(why, "a model's size is a whole number of bytes up to 1 MiB");
    }
    has_model_ = true;
    model_size_ = n;
    program_.model.reserve(n);
    return true;
  }
  bool ModelData(const std::vector<std::string_view>& w, std::string* why) {
    if (!has_model_ || ModelComplete()) return Say(why, "model data without a model to fill");
    std::vector<uint8_t> bytes;
    if (w.size() != 2 || !FromBase64(w[1], &bytes) || bytes.size() > kModelBytesPerLine) {
      return Say(why, "model data is one word of base64, up to 76 characters");
    }
    if (program_.model.size() + bytes.size() > model_size_) return Say(why, "more model data than its size");
    program_.model.insert(program_.model.end(), bytes.begin(), bytes.end());
    if (ModelComplete()) {
      qgPartModel* loaded = nullptr;
      if (qgPartModelLoad(program_.model.data(), program_.model.size(), &loaded) != QG_OK) {
        return Say(why, "the part model is damaged");
      }
      qgPartModelFree(loaded);
    }
    return true;
  }
  bool Step(const std::vector<std::string_view>& w, std::string* why) {
    const std::optional<StepKind> kind = w.size() >= 3 ? StepKindByName(w[1]) : std::nullopt;
    if (!kind) return Say(why, "a step is point, line, circle, width, distance, angle or profile");
    if (program_.steps.size() >= kMaxProgramSteps) return Say(why, "more steps than a program holds");
    ProgramStep step;
    step.kind = *kind;
    step.label = std::string(w[2]);
    if (!IsStepLabel(step.label)) return Say(why, "\"" + step.label + "\" is not a label");
    if (FindStep(program_, step.label) != nullptr) return Say(why, "label " + step.label + " twice");
    const uint32_t points = PointsOf(*kind);
    if (*kind == StepKind::Profile) {
      if (!Profile(w, &step, why)) return false;
    } else if (points == 0) {
      if (w.size() != 5) return Say(why, "a dimension names two features");
      step.a = std::string(w[3]);
      step.b = std::string(w[4]);
      if (std::string p = DimensionProblem(program_, *kind, step.a, step.b); !p.empty()) return Say(why, p);
    } else {
      if (w.size() != 3 + 2 * points) return Say(why, "a " + std::string(w[1]) + " takes " +
                                                          std::to_string(2 * points) + " coordinates");
      for (uint32_t k = 0; k < points; ++k) {
        if (!Value(w[3 + 2 * k], &step.points[k].x) || !Value(w[4 + 2 * k], &step.points[k].y)) {
          return Say(why, "a coordinate is not a number");
        }
      }
    }
    program_.steps.push_back(std::move(step));
    return true;
  }
  // step profile LABEL X Y ANGLE UNIT PATH [minmax] [layer NAME ...]
  static bool Profile(const std::vector<std::string_view>& w, ProgramStep* step, std::string* why) {
    const char* usage = "a profile takes X Y ANGLE UNIT PATH [minmax] [layer NAME ...]";
    ProfileSource p;
    if (w.size() < 8 || !Value(w[3], &step->points[0].x) || !Value(w[4], &step->points[0].y) ||
        !Value(w[5], &p.angle_deg)) {
      return Say(why, usage);
    }
    p.unit = UnitOfWord(w[6]);
    if (p.unit == 0) return Say(why, "unknown unit \"" + std::string(w[6]) + "\"");
    if (!Unescaped(w[7], &p.path)) return Say(why, "a profile's file is not a path");
    size_t i = 8;
    if (i < w.size() && w[i] == "minmax") p.minmax = true, ++i;
    if (i < w.size() && w[i] == "layer") {
      for (++i; i < w.size(); ++i) {
        if (!Unescaped(w[i], &p.layers.emplace_back())) return Say(why, "a layer's name is not a word");
      }
      if (p.layers.empty()) return Say(why, usage);
    }
    if (i != w.size()) return Say(why, usage);
    step->profile = std::move(p);
    return true;
  }
  bool ToleranceRecord(const std::vector<std::string_view>& w, std::string* why) {
    if (w.size() != 5 && w.size() != 6) return Say(why, "tolerance LABEL NOMINAL UPPER LOWER [UNIT]");
    auto step = std::find_if(program_.steps.begin(), program_.steps.end(),
                             [&](const ProgramStep& s) { return s.label == w[1]; });
    if (step == program_.steps.end() || !IsDimension(step->kind)) {
      return Say(why, "no dimension " + std::string(w[1]) + " above");
    }
    Tolerance t;
    if (!Value(w[2], &t.nominal) || !Value(w[3], &t.upper) || !Value(w[4], &t.lower) || !(t.lower <= t.upper)) {
      return Say(why, "a tolerance is three numbers, the upper deviation not below the lower");
    }
    if (w.size() == 6) t.unit = std::string(w[5]);
    step->tolerance = t;
    return true;
  }
  bool PartIdRecord(const std::vector<std::string_view>& w, std::string* why) {
    if (w.size() == 2 && w[1] == "required") return program_.identity_required = true;
    CodeRegion r;
    if (w.size() != 5 || !Value(w[1], &r.x) || !Value(w[2], &r.y) || !Value(w[3], &r.width) ||
        !Value(w[4], &r.height) || !(r.width > 0) || !(r.height > 0)) {
      return Say(why, "part-id X Y W H (a region of some size) or part-id required");
    }
    program_.code_region = r;
    return true;
  }
  bool Finish(std::string* why) {
    if (!ModelComplete()) return Say(why, "the part model is cut short");
    ended_ = true;
    return true;
  }

  Program program_;
  bool started_ = false, ended_ = false, has_model_ = false;
  size_t model_size_ = 0;
};

} // namespace

std::string Base64(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (n > 1) v |= uint32_t{bytes[i + 1]} << 8;
    if (n > 2) v |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) out.push_back(k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=');
  }
  return out;
}

bool FromBase64(std::string_view text, std::vector<uint8_t>* bytes) {
  if (text.empty() || text.size() % 4 != 0) return false;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int s = k >= 4 - pad ? 0 : Sextet(text[i + k]);
      if (s < 0) return false;
      v = v << 6 | static_cast<uint32_t>(s);
    }
    for (size_t k = 0; k < 3 - pad; ++k) out.push_back(static_cast<uint8_t>(v >> (16 - 8 * k)));
  }
  bytes->insert(bytes->end(), out.begin(), out.end());
  return true;
}

bool IsProgramName(std::string_view name) {
  return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

std::string ProgramText(const Program& program) {
  std::string out = "# ORVANE inspection program (see orvane-inspect(1))\norvane-program 1\n";
  if (!program.model.empty()) {
    out += "model " + std::to_string(program.model.size()) + "\n";
    for (size_t i = 0; i < program.model.size(); i += kModelBytesPerLine) {
      const size_t n = std::min(kModelBytesPerLine, program.model.size() - i);
      out += "model-data " + Base64({program.model.begin() + i, program.model.begin() + i + n}) + "\n";
    }
  }
  for (const ProgramStep& s : program.steps) {
    out += "step " + std::string(StepKindName(s.kind)) + " " + s.label;
    if (PointsOf(s.kind) == 0) out += " " + s.a + " " + s.b;
    for (uint32_t k = 0; k < PointsOf(s.kind); ++k) out += " " + Number(s.points[k].x) + " " + Number(s.points[k].y);
    if (s.profile) out += ProfileWords(*s.profile);
    out += "\n";
    if (const std::optional<Tolerance>& t = s.tolerance) {
      out += "tolerance " + s.label + " " + Number(t->nominal) + " " + Number(t->upper) + " " + Number(t->lower);
      out += (t->unit.empty() ? "" : " " + t->unit) + "\n";
    }
  }
  if (const std::optional<CodeRegion>& r = program.code_region) {
    out += "part-id " + Number(r->x) + " " + Number(r->y) + " " + Number(r->width) + " " + Number(r->height) + "\n";
  }
  if (program.identity_required) out += "part-id required\n";
  return out + "end\n";
}

bool ParseProgram(std::string_view text, Program* program, std::string* error) {
  if (text.size() > kMaxProgramFileBytes) return *error = "the file is too large for a program", false;
  Reader reader;
  uint32_t line_number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t eol = std::min(text.find('\n', pos), text.size());
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++line_number;
    const std::vector<std::string_view> words = Words(line);
    if (words.empty() || words[0].front() == '#') continue;
    std::string why;
    if (!reader.Record(words, &why)) {
      *error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    }
  }
  if (!reader.ended()) {
    *error = "line " + std::to_string(line_number + 1) + ": the file ends before its end record";
    return false;
  }
  const std::string name = program->name;
  *program = std::move(reader.program());
  program->name = name;
  return true;
}

} // namespace orvane
