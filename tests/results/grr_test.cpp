// Gauge R&R by the analysis of variance: the worked example of the
// automotive measurement-system manual, the F distribution's tail, a
// simulation with known variances, and the rows of a results table.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "results/grr.h"

namespace orvane {
namespace {

using Study = std::vector<std::vector<std::vector<double>>>;

// AIAG, Measurement Systems Analysis Reference Manual, 4th edition (2010),
// Appendix B / chapter III: the 10 parts x 3 appraisers (A, B, C) x 3 trials
// data sheet (Table III-B 1), its ANOVA table (Table III-B 5) and the ANOVA
// analysis (Table III-B 6). Rows: appraiser, trial; columns: parts 1..10.
constexpr double kAiag[3][3][10] = {
    {{0.29, -0.56, 1.34, 0.47, -0.80, 0.02, 0.59, -0.31, 2.26, -1.36},
     {0.41, -0.68, 1.17, 0.50, -0.92, -0.11, 0.75, -0.20, 1.99, -1.25},
     {0.64, -0.58, 1.27, 0.64, -0.84, -0.21, 0.66, -0.17, 2.01, -1.31}},
    {{0.08, -0.47, 1.19, 0.01, -0.56, -0.20, 0.47, -0.63, 1.80, -1.68},
     {0.25, -1.22, 0.94, 1.03, -1.20, 0.22, 0.55, 0.08, 2.12, -1.62},
     {0.07, -0.68, 1.34, 0.20, -1.28, 0.06, 0.83, -0.34, 2.19, -1.50}},
    {{0.04, -1.38, 0.88, 0.14, -1.46, -0.29, 0.02, -0.46, 1.77, -1.49},
     {-0.11, -1.13, 1.09, 0.20, -1.07, -0.67, 0.01, -0.56, 1.45, -1.77},
     {-0.15, -0.96, 0.67, 0.11, -1.45, -0.49, 0.21, -0.49, 1.87, -2.16}}};

Study AiagStudy() {
  Study x(10, std::vector<std::vector<double>>(3));
  for (int op = 0; op < 3; ++op) {
    for (int trial = 0; trial < 3; ++trial) {
      for (int part = 0; part < 10; ++part) x[part][op].push_back(kAiag[op][trial][part]);
    }
  }
  return x;
}

// To the digits the manual prints. Its F column divides parts and appraisers
// by the repeatability's MS (34.44, 213.52); with the interaction pooled this
// station divides by the pooled error's MS, as the pooled model's test does:
// the F values below are the manual's MS over its pooled 0.039973.
TEST(Grr, ReproducesTheManualsWorkedExample) {
  std::string why;
  const std::optional<GrrStudy> s = AnalyseGrr(AiagStudy(), &why);
  ASSERT_TRUE(s) << why;
  EXPECT_NEAR(s->part.ss, 88.3619, 5e-5);
  EXPECT_NEAR(s->operator_.ss, 3.1673, 5e-5);
  EXPECT_NEAR(s->interaction.ss, 0.3590, 5e-5);
  EXPECT_NEAR(s->repeatability.ss, 2.7589, 5e-5);
  EXPECT_NEAR(s->total.ss, 94.6471, 5e-5);
  EXPECT_EQ(s->part.df, 9);
  EXPECT_EQ(s->operator_.df, 2);
  EXPECT_EQ(s->interaction.df, 18);
  EXPECT_EQ(s->repeatability.df, 60);
  EXPECT_EQ(s->total.df, 89);
  EXPECT_NEAR(s->part.ms, 9.81799, 5e-6);
  EXPECT_NEAR(s->operator_.ms, 1.58363, 5e-6);
  EXPECT_NEAR(s->interaction.ms, 0.01994, 5e-6);
  EXPECT_NEAR(s->repeatability.ms, 0.04598, 5e-6);
  EXPECT_NEAR(s->interaction.f, 0.434, 5e-4);
  EXPECT_TRUE(s->pooled);
  EXPECT_NEAR(s->pooled_error.ms, 0.039973, 5e-7);
  EXPECT_NEAR(s->operator_.f, 1.58363 / 0.039973, 0.01);
  EXPECT_NEAR(s->part.f, 9.81799 / 0.039973, 0.01);
  // Table III-B 6.
  EXPECT_NEAR(s->ev, 0.199933, 5e-7);
  EXPECT_NEAR(s->av, 0.226838, 5e-7);
  EXPECT_EQ(s->iv, 0.0);
  EXPECT_NEAR(s->grr, 0.30237, 5e-6);
  EXPECT_NEAR(s->pv, 1.042327, 5e-7);
  EXPECT_NEAR(s->PercentOfTotal(s->ev), 18.4, 0.05);
  EXPECT_NEAR(s->PercentOfTotal(s->av), 20.9, 0.05);
  EXPECT_NEAR(s->PercentOfTotal(s->grr), 27.9, 0.05);
  EXPECT_NEAR(s->PercentOfTotal(s->pv), 96.0, 0.05);
  EXPECT_EQ(s->Ndc(), 4);
  // The interaction's p, integrated independently (numpy, 2e6 intervals).
  EXPECT_NEAR(s->interaction.p, 0.9741064043, 1e-6);
}

// Closed forms (d1 = 2: (1 + 2f/d2)^(-d2/2)) and values integrated
// independently with numpy.
TEST(Grr, FDistributionTail) {
  struct Case {
    double f, d1, d2, p;
  } cases[] = {{3.15, 2, 60, 0.05001861469}, {2.5, 5, 10, 0.1020022766}, {0.7, 7, 4, 0.6813846225},
               {1.2, 3, 12, 0.3515126407},  {0.0, 3, 12, 1.0},          {1e9, 3, 12, 0.0}};
  for (const Case& c : cases) {
    EXPECT_NEAR(FDistributionUpperTail(c.f, c.d1, c.d2), c.p, 1e-7) << c.f << " " << c.d1 << " " << c.d2;
  }
  for (double f : {0.1, 1.0, 4.0, 40.0}) {
    EXPECT_NEAR(FDistributionUpperTail(f, 2, 30), std::pow(1 + 2 * f / 30, -15), 1e-12) << f;
  }
}

// Many studies drawn with known variances: the estimates' means come back
// to them (the estimators are unbiased where no clamping at zero bites), and
// a real interaction is kept while a null one is pooled most of the time.
TEST(Grr, SimulationRecoversKnownVariances) {
  struct Case {
    double part, op, inter, error;
  } cases[] = {{1.0, 0.3, 0.0, 0.1}, {0.5, 0.2, 0.15, 0.05}};
  std::mt19937_64 rng(20261208);
  for (const Case& c : cases) {
    const int studies = 1500, n = 10, k = 3, r = 3;
    double ev2 = 0, av2 = 0, iv2 = 0, pv2 = 0, ms_error = 0;
    int pooled = 0;
    for (int s = 0; s < studies; ++s) {
      std::normal_distribution<double> part(0, c.part), op(0, c.op), inter(0, c.inter), err(0, c.error);
      std::vector<double> p(n), o(k);
      for (double& v : p) v = part(rng);
      for (double& v : o) v = op(rng);
      Study x(n, std::vector<std::vector<double>>(k));
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < k; ++j) {
          const double cell = 10 + p[i] + o[j] + (c.inter > 0 ? inter(rng) : 0.0);
          for (int t = 0; t < r; ++t) x[i][j].push_back(cell + err(rng));
        }
      }
      const std::optional<GrrStudy> g = AnalyseGrr(x, nullptr);
      ASSERT_TRUE(g);
      ev2 += g->ev * g->ev / studies;
      ms_error += g->repeatability.ms / studies;
      av2 += g->av * g->av / studies;
      iv2 += g->iv * g->iv / studies;
      pv2 += g->pv * g->pv / studies;
      pooled += g->pooled;
    }
    const double sq = [](double v) { return v * v; }(c.error);
    // The repeatability's MS is unbiased (its mean's standard error here is
    // 0.5 %); pooling only when the interaction looks small biases EV a few
    // per cent low, as any test-then-pool estimator does.
    EXPECT_NEAR(ms_error, sq, 0.015 * sq) << c.part;
    EXPECT_NEAR(ev2, sq, 0.06 * sq) << c.part;
    EXPECT_NEAR(av2, c.op * c.op, 0.1 * c.op * c.op) << c.part;
    EXPECT_NEAR(pv2, c.part * c.part, 0.05 * c.part * c.part) << c.part;
    if (c.inter > 0) {
      EXPECT_NEAR(iv2, c.inter * c.inter, 0.1 * c.inter * c.inter);
      EXPECT_LT(pooled, studies / 50);
    } else {
      // The interaction is pooled whenever its p is above 0.25: about three
      // studies in four.
      EXPECT_NEAR(pooled, 0.75 * studies, 0.05 * studies);
    }
  }
}

TEST(Grr, RefusesDesignsItCannotAnalyse) {
  const Study balanced = {{{1, 2}, {1, 2}}, {{3, 4}, {3, 5}}};
  Study short_cell = balanced;
  short_cell[1][0].pop_back();
  Study missing_operator = balanced;
  missing_operator[1].pop_back();
  Study not_number = balanced;
  not_number[0][1][0] = kUnknown;
  const std::pair<Study, std::string> cases[] = {
      {{{{1, 2}, {1, 2}}}, "at least 2 parts"},
      {{{{1}, {1}}, {{3}, {3}}}, "at least 2 trials"},
      {short_cell, "part 2, operator 1 has 1 trials, not 2"},
      {missing_operator, "part 2 is not measured by every operator"},
      {not_number, "not a number"}};
  for (const auto& [x, message] : cases) {
    std::string why;
    EXPECT_FALSE(AnalyseGrr(x, &why));
    EXPECT_NE(why.find(message), std::string::npos) << why;
  }
  EXPECT_TRUE(AnalyseGrr(balanced, nullptr));
}

// One operator (an automatic station): a one-way analysis, by hand: cell
// means 2 and 6, SS parts 2 * 8 = 16, SS error 4 on 2 df, so MS error 2 and
// part variance (16 - 2) / 2 = 7.
TEST(Grr, OneOperatorIsAOneWayAnalysis) {
  const std::optional<GrrStudy> s = AnalyseGrr({{{1, 3}}, {{5, 7}}}, nullptr);
  ASSERT_TRUE(s);
  EXPECT_DOUBLE_EQ(s->part.ss, 16);
  EXPECT_DOUBLE_EQ(s->repeatability.ms, 2);
  EXPECT_DOUBLE_EQ(s->ev, std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(s->pv, std::sqrt(7.0));
  EXPECT_EQ(s->av, 0);
  EXPECT_FALSE(s->pooled);
  EXPECT_DOUBLE_EQ(s->part.f, 8);
  // F(1, 2): p = 1 - (f / (2 + f))^(1/2).
  EXPECT_NEAR(s->part.p, 1 - std::sqrt(0.8), 1e-12);
  EXPECT_EQ(GrrText("D", *s).find("anova operators"), std::string::npos);
}

// The table's rows by their labels: the study's unit is its first row's,
// rows in another length unit are converted, foreign labels are ignored, and
// the name's tolerance gives the share of the tolerance.
TEST(Grr, StudyFromLabelledRows) {
  ResultsTable table;
  const char* ops[] = {"A", "B"};
  const double values[2][2][2] = {{{1.00, 1.02}, {1.01, 1.03}}, {{2.00, 2.01}, {2.03, 2.02}}};
  for (int p = 0; p < 2; ++p) {
    for (int o = 0; o < 2; ++o) {
      for (int t = 0; t < 2; ++t) {
        ResultRow row;
        row.label = "D1/P" + std::to_string(p + 1) + "/" + ops[o];
        // One trial in micrometres: the study converts it to mm.
        row.unit = (p == 1 && o == 1 && t == 1) ? "um" : "mm";
        row.value = row.unit == "um" ? values[p][o][t] * 1000 : values[p][o][t];
        if (row.unit == "um") row.unit = std::string(kMicrometre);
        table.Add(row);
      }
    }
  }
  ResultRow other;
  other.label = "D1/P1/A/extra";
  other.value = 99;
  table.Add(other);
  table.SetTolerance("D1", Tolerance(1.5, 0.6, "mm"));
  std::string why;
  const std::optional<GrrStudy> s = GrrOfLabel(table, "D1", &why);
  ASSERT_TRUE(s) << why;
  const std::optional<GrrStudy> direct = AnalyseGrr(
      {{{1.00, 1.02}, {1.01, 1.03}}, {{2.00, 2.01}, {2.03, 2.02}}}, nullptr);
  EXPECT_NEAR(s->grr, direct->grr, 1e-12);
  EXPECT_EQ(s->unit, "mm");
  EXPECT_NEAR(s->PercentOfTolerance(s->grr), 100 * 6 * s->grr / 1.2, 1e-9);
  // A tolerance of no width gives no share rather than an infinite one.
  table.SetTolerance("D1", Tolerance(1.5, 0.0, "mm"));
  EXPECT_TRUE(std::isnan(GrrOfLabel(table, "D1", &why)->PercentOfTolerance(0.1)));
  EXPECT_FALSE(GrrOfLabel(table, "D2", &why));
  EXPECT_EQ(why, "no rows are labelled D2/PART/OPERATOR");
  ResultRow pixels;
  pixels.label = "D1/P1/B";
  pixels.unit = "px";
  table.Add(pixels);
  EXPECT_FALSE(GrrOfLabel(table, "D1", &why));
  EXPECT_NE(why.find("is in px, the study in mm"), std::string::npos) << why;
}

} // namespace
} // namespace orvane
