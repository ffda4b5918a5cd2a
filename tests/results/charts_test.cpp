// The charts' figures against a hand calculation.
#include <gtest/gtest.h>

#include <cmath>

#include "results/charts.h"

namespace orvane {
namespace {

// Moving ranges 0.2 0.3 0.2 0.1 0.3 0.5 0.3 1.9 2.0: MR-bar 5.8 / 9; mean
// 102.4 / 10 = 10.24; limits 10.24 +- 2.66 * 0.6444 = 8.5258 .. 11.9542, so
// the ninth value (12.0) is beyond. Sturges: 1 + ceil(log2 10) = 5 bins of
// (12.0 - 9.8) / 5 = 0.44, counts 8 1 0 0 1.
TEST(Charts, IndividualsAndHistogramByHand) {
  const std::vector<double> v = {10.0, 10.2, 9.9, 10.1, 10.0, 10.3, 9.8, 10.1, 12.0, 10.0};
  const IndividualsChart c = IndividualsOf(v);
  EXPECT_NEAR(c.centre, 10.24, 1e-12);
  EXPECT_NEAR(c.mr_bar, 5.8 / 9, 1e-12);
  EXPECT_NEAR(c.ucl, 11.954222222, 1e-8);
  EXPECT_NEAR(c.lcl, 8.525777778, 1e-8);
  EXPECT_NEAR(c.mr_ucl, 3.267 * 5.8 / 9, 1e-12);
  EXPECT_EQ(c.beyond, std::vector<size_t>{8});
  const Histogram h = HistogramOf(v);
  EXPECT_DOUBLE_EQ(h.low, 9.8);
  EXPECT_NEAR(h.width, 0.44, 1e-12);
  EXPECT_EQ(h.counts, (std::vector<uint32_t>{8, 1, 0, 0, 1}));
  // The curve's area over the bins is the count of values.
  double area = 0;
  for (double x = h.mean - 10 * h.sd; x < h.mean + 10 * h.sd; x += h.width / 100) area += h.CurveAt(x) / 100;
  EXPECT_NEAR(area, 10.0, 1e-6);
}

// Limits labelled to the decimals the values carry (one more), or to three
// digits of their spread when measured to full precision; never ten digits.
TEST(Charts, FigureDecimals) {
  const std::vector<double> by_hand = {10.0, 10.2, 9.9, 10.1, 10.0, 10.3, 9.8, 10.1, 12.0, 10.0};
  const std::vector<double> measured = {10.012345678912, 10.034567891234, 10.023456789123};
  const std::vector<double> tiny = {0.000012, 0.000015};
  const struct {
    double v;
    const std::vector<double>* values;
    const char* text;
  } cases[] = {
      {IndividualsOf(by_hand).ucl, &by_hand, "11.95"},   // 11.954222... from values of one decimal
      {IndividualsOf(by_hand).lcl, &by_hand, "8.53"},
      {10.24, &by_hand, "10.24"},
      {IndividualsOf(measured).ucl, &measured, "10.0678"}, // spread 0.022: three digits
      {IndividualsOf(tiny).lcl, &tiny, "0.0000055"},
      {-0.0001, &by_hand, "0.00"},                        // no minus zero
      {2.0, nullptr, "2.0"},
      {NAN, &by_hand, ""},
  };
  const std::vector<double> flat = {2.0, 2.0};
  for (const auto& c : cases) EXPECT_EQ(ChartFigure(c.v, c.values ? *c.values : flat), c.text) << c.v;
}

// Too few values for limits, equal values, and a value below the lower limit.
TEST(Charts, EdgeCases) {
  EXPECT_TRUE(std::isnan(IndividualsOf({}).ucl));
  EXPECT_TRUE(std::isnan(IndividualsOf({5.0}).ucl));
  const IndividualsChart flat = IndividualsOf({2.0, 2.0, 2.0});
  EXPECT_EQ(flat.ucl, 2.0);
  EXPECT_TRUE(flat.beyond.empty());
  const IndividualsChart low = IndividualsOf({5, 5.1, 5, 5.1, 5, 5.1, 5, 5.1, 5, 5.1, 5, 5.1, 0});
  EXPECT_EQ(low.beyond, std::vector<size_t>{12});
  const Histogram one = HistogramOf({3.0});
  EXPECT_EQ(one.counts, std::vector<uint32_t>{1});
  EXPECT_EQ(one.CurveAt(3.0), 0.0);
  const Histogram same = HistogramOf({0.0, 0.0});
  EXPECT_EQ(same.counts, std::vector<uint32_t>{2});
  EXPECT_GT(same.width, 0.0);
  EXPECT_TRUE(HistogramOf({}).counts.empty());
}

// A label's series: its rows in table order, converted to its unit, rows in
// a unit that does not convert left out; the words name rows by number.
TEST(Charts, SeriesOfALabel) {
  ResultsTable table;
  const std::pair<double, const char*> rows[] = {{1.0, "mm"}, {0.2, "cm"}, {7.0, "px"}, {1.5, "mm"}};
  for (const auto& [value, unit] : rows) {
    ResultRow r;
    r.label = "W1";
    r.value = value;
    r.unit = unit;
    table.Add(r);
  }
  table.SetTolerance("W1", Tolerance(1.5, 0.5, "mm"));
  const LabelSeries s = SeriesOf(table, "W1");
  EXPECT_EQ(s.values, (std::vector<double>{1.0, 2.0, 1.5}));
  EXPECT_EQ(s.numbers, (std::vector<uint32_t>{1, 2, 4}));
  ASSERT_TRUE(s.tolerance);
  EXPECT_EQ(s.tolerance->UpperLimit(), 2.0);
  EXPECT_EQ(ChartWords(s),
            "individuals n 3 centre 1.5 mr 0.75 ucl 3.495 lcl -0.495 beyond -\n"
            "histogram low 1 width 0.3333333333 counts 1,1,1 mean 1.5 sd 0.5\n");
}

} // namespace
} // namespace orvane
