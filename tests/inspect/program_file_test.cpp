#include "inspect/program_file.h"

#include <gtest/gtest.h>

#include "tests/inspect/plate_program.h"

namespace orvane::testing {
namespace {

Program Sample() {
  std::mt19937_64 rng(2);
  Program p = PlateProgram(TeachPlate(RenderPlate(400, 300, 200, 150, 0, rng), 200, 150));
  p.steps[0].points[0] = {0.1 + 0.2, -1e-7}; // numbers that need every digit
  p.steps[0].tolerance = Tolerance(36.0, 0.02, -0.01, "\xC2\xB5m");
  p.steps[10].tolerance = Tolerance(87.3, 0.1);
  // Profiles: a path and layers with blanks and escapes, min-max, a unit
  // the reader knows by number only (10: yards).
  ProgramStep profile;
  profile.kind = StepKind::Profile;
  profile.label = "CAD1";
  profile.points[0] = {-12.5, 0.1 + 0.2};
  profile.profile = ProfileSource{"drawings/plate 2%#.dxf", 4, {"OUT LINE", "HOLES"}, -25.5, true};
  profile.tolerance = Tolerance(0.0, 0.025, "mm");
  p.steps.push_back(profile);
  profile.label = "CAD2";
  profile.profile = ProfileSource{"/abs/plate.dxf", 10, {}, 0.0, false};
  profile.tolerance.reset();
  p.steps.push_back(profile);
  return p;
}

TEST(ProgramFile, RoundTripsEveryField) {
  const Program p = Sample();
  const std::string text = ProgramText(p);
  EXPECT_NE(text.find("\nstep profile CAD1 -12.5 0.30000000000000004 -25.5 mm drawings/plate%202%25%23.dxf minmax "
                      "layer OUT%20LINE HOLES\ntolerance CAD1 0 0.025 -0.025 mm\nstep profile CAD2 -12.5 "
                      "0.30000000000000004 0 10 /abs/plate.dxf\n"),
            std::string::npos)
      << text;
  Program back;
  back.name = p.name;
  std::string error;
  ASSERT_TRUE(ParseProgram(text, &back, &error)) << error;
  EXPECT_EQ(back, p);
  EXPECT_EQ(ProgramText(back), text);
  // A fixtured program has no model records; CR LF line ends read the same.
  Program fixtured = PlateProgram({});
  std::string crlf;
  for (char c : ProgramText(fixtured)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Program fixtured_back;
  fixtured_back.name = fixtured.name;
  ASSERT_TRUE(ParseProgram(crlf, &fixtured_back, &error)) << error;
  EXPECT_EQ(fixtured_back, fixtured);
  // The code region and the identity requirement are two optional lines
  // before the end; a file without them writes none.
  EXPECT_EQ(text.find("part-id"), std::string::npos);
  Program coded = p;
  coded.code_region = CodeRegion{120.5, -30.25, 64, 0.1 + 0.2};
  coded.identity_required = true;
  const std::string coded_text = ProgramText(coded);
  EXPECT_EQ(coded_text.substr(coded_text.size() - 65),
            "part-id 120.5 -30.25 64 0.30000000000000004\npart-id required\nend\n");
  ASSERT_TRUE(ParseProgram(coded_text, &back, &error)) << error;
  EXPECT_EQ(back, coded);
}

// A damaged file is refused naming its line, and what the caller holds is
// left as it was.
TEST(ProgramFile, DamageIsRefusedNamingTheLine) {
  const std::string good = ProgramText(Sample());
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < good.size();) {
    const size_t eol = good.find('\n', pos);
    lines.push_back(good.substr(pos, eol - pos));
    pos = eol + 1;
  }
  auto join = [](const std::vector<std::string>& ls) {
    std::string out;
    for (const std::string& l : ls) out += l + "\n";
    return out;
  };
  size_t first_data = 0, first_step = 0, dimension = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (first_data == 0 && lines[i].rfind("model-data ", 0) == 0) first_data = i;
    if (first_step == 0 && lines[i].rfind("step ", 0) == 0) first_step = i;
    if (dimension == 0 && lines[i].rfind("step distance", 0) == 0) dimension = i;
  }
  struct Case {
    std::string name;
    std::function<void(std::vector<std::string>&)> damage;
    size_t line; // 1-based, as the message names it
  };
  const Case cases[] = {
      {"version", [](auto& l) { l[1] = "orvane-program 2"; }, 2},
      {"not a program", [](auto& l) { l[1] = "solution 1"; }, 2},
      {"unknown record", [&](auto& l) { l[first_step] = "stepp circle D1 1 2 3 4 5 6"; }, first_step + 1},
      {"bad number", [&](auto& l) { l[first_step] = "step circle D1 1 2 3 x 5 6"; }, first_step + 1},
      {"infinite number", [&](auto& l) { l[first_step] = "step circle D1 1 2 3 inf 5 6"; }, first_step + 1},
      {"too few coordinates", [&](auto& l) { l[first_step] = "step circle D1 1 2 3 4 5"; }, first_step + 1},
      {"label twice", [&](auto& l) { l[first_step + 2] = "step line D1 0 0 0 10"; }, first_step + 3},
      {"dimension before its features", [&](auto& l) { std::swap(l[first_step], l[dimension]); }, first_step + 1},
      {"model cut", [&](auto& l) { l.erase(l.begin() + first_data + 1); }, first_step},
      {"model bytes flipped", [&](auto& l) { l[first_data][20] = l[first_data][20] == 'A' ? 'B' : 'A'; },
       first_step},
      {"not base64", [&](auto& l) { l[first_data][15] = '*'; }, first_data + 1},
      {"tolerance of a feature", [&](auto& l) { l.insert(l.begin() + first_step + 4, "tolerance E1 1 1 -1"); },
       first_step + 5},
      {"limits crossed", [&](auto& l) { l.insert(l.begin() + dimension + 1, "tolerance L1 1 -1 1"); },
       dimension + 2},
      {"no end", [&](auto& l) { l.pop_back(); }, lines.size()},
      {"region without size", [&](auto& l) { l.insert(l.end() - 1, "part-id 1 2 0 5"); }, lines.size()},
      {"region short", [&](auto& l) { l.insert(l.end() - 1, "part-id 1 2 5"); }, lines.size()},
      {"required what", [&](auto& l) { l.insert(l.end() - 1, "part-id needed"); }, lines.size()},
      {"after end", [&](auto& l) { l.push_back("step point P9 0 0 0 9"); }, lines.size() + 1},
  };
  // Profiles damaged: each line replaces the program's last step.
  const char* profiles[] = {
      "step profile CAD2 1 2 0 mm",             "step profile CAD2 1 2 0 parsec a.dxf",
      "step profile CAD2 1 2 0 11x a.dxf",      "step profile CAD2 1 2 0 mm a%2",
      "step profile CAD2 1 2 0 mm a%00b",       "step profile CAD2 1 2 0 mm a.dxf layer",
      "step profile CAD2 1 2 0 mm a.dxf extra", "step profile CAD2 1 2 nan mm a.dxf",
      "step profile CAD2 1 2 0 0 a.dxf",        "step profile CAD2 1 2 0 mm a.dxf layer %zz",
      // Control bytes come escaped, NUL never.
      "step profile CAD2 1 2 0 mm a.dxf layer O\x01T",
      "step profile CAD2 1 2 0 mm a\x7F.dxf",
  };
  const std::string with_nul = std::string("step profile CAD2 1 2 0 mm a.dxf layer A") + '\0' + "B";
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const char* line : profiles) {
    all.push_back({line, [line](auto& l) { l[l.size() - 2] = line; }, lines.size() - 1});
  }
  all.push_back({"NUL", [&](auto& l) { l[l.size() - 2] = with_nul; }, lines.size() - 1});
  for (const Case& c : all) {
    std::vector<std::string> damaged = lines;
    c.damage(damaged);
    Program kept;
    kept.name = "KEPT";
    kept.steps.push_back(PlateSteps()[0].step);
    const Program before = kept;
    std::string error;
    EXPECT_FALSE(ParseProgram(join(damaged), &kept, &error)) << c.name;
    EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << c.name << ": " << error;
    EXPECT_EQ(kept, before) << c.name;
  }
}

TEST(ProgramFile, Base64AndNames) {
  const std::vector<uint8_t> bytes = {0, 1, 2, 250, 251, 252, 253};
  for (size_t n = 0; n <= bytes.size(); ++n) {
    const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + n);
    std::vector<uint8_t> back;
    if (n == 0) continue;
    ASSERT_TRUE(FromBase64(Base64(part), &back));
    EXPECT_EQ(back, part);
  }
  std::vector<uint8_t> out;
  for (const char* bad : {"", "A", "AB=C", "A===", "AB\x01=", "AA==AAAA"}) EXPECT_FALSE(FromBase64(bad, &out)) << bad;
  EXPECT_TRUE(IsProgramName("Bracket_7-b"));
  for (const char* bad : {"", "../x", "a b", "a.b", "x/y", "123456789012345678901234567890123"}) {
    EXPECT_FALSE(IsProgramName(bad)) << bad;
  }
}

} // namespace
} // namespace orvane::testing
