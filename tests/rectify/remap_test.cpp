// The remap against OpenCV's fixed-point remap (the tables rectification
// used before it had its own), byte for byte: scattered maps that reach past
// every border, smooth turned maps that give long runs of inside pixels, odd
// sizes, pictures too large for the packed tables, and every kernel this
// processor runs.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "rectify/remap.h"

namespace orvane::rectify {
namespace {

std::vector<uint8_t> OpenCvRemap(const CameraMap& map, const std::vector<uint8_t>& source) {
  const int w = static_cast<int>(map.width), h = static_cast<int>(map.height);
  const cv::Mat mx(h, w, CV_32FC1, const_cast<float*>(map.x.data()));
  const cv::Mat my(h, w, CV_32FC1, const_cast<float*>(map.y.data()));
  cv::Mat whole, fraction;
  cv::convertMaps(mx, my, whole, fraction, CV_16SC2, false);
  std::vector<uint8_t> out(source.size(), 0xA5);
  const cv::Mat src(h, w, CV_8UC4, const_cast<uint8_t*>(source.data()));
  cv::Mat dst(h, w, CV_8UC4, out.data());
  cv::remap(src, dst, whole, fraction, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
  return out;
}

std::vector<uint8_t> RandomPicture(uint32_t w, uint32_t h, std::mt19937& rng) {
  std::vector<uint8_t> p(size_t{w} * h * 4);
  for (uint8_t& b : p) b = static_cast<uint8_t>(rng());
  return p;
}

enum class Shape { Scattered, Turned };

// Scattered: every position anywhere from 3 pixels before the picture to 2
// past it, half of them on the 1/64 grid so that rounding meets its halves,
// a few far away or not a number. Turned: the picture turned 7 degrees and
// enlarged by 10 % about its centre, with a little jitter.
CameraMap MakeMap(uint32_t w, uint32_t h, Shape shape, std::mt19937& rng) {
  CameraMap map;
  map.width = w;
  map.height = h;
  const size_t n = size_t{w} * h;
  map.x.resize(n);
  map.y.resize(n);
  std::uniform_real_distribution<float> across(-3.0f, w + 2.0f), down(-3.0f, h + 2.0f), jitter(-0.02f, 0.02f);
  const double turn = 7.0 * std::numbers::pi / 180.0, c = std::cos(turn) / 1.1, s = std::sin(turn) / 1.1;
  for (size_t i = 0; i < n; ++i) {
    if (shape == Shape::Scattered) {
      map.x[i] = across(rng), map.y[i] = down(rng);
      if (i % 2 == 0) map.x[i] = std::round(map.x[i] * 64) / 64, map.y[i] = std::round(map.y[i] * 64) / 64;
      if (i % 97 == 5) map.x[i] = (i % 3 == 0) ? 1e7f : (i % 3 == 1) ? -40000.0f : NAN;
    } else {
      const double x = double(i % w) - (w - 1) / 2.0, y = double(i / w) - (h - 1) / 2.0;
      map.x[i] = static_cast<float>(c * x - s * y + (w - 1) / 2.0) + jitter(rng);
      map.y[i] = static_cast<float>(s * x + c * y + (h - 1) / 2.0) + jitter(rng);
    }
  }
  return map;
}

// "" when equal, else where the first byte differs.
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want, uint32_t w) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) {
      const size_t pixel = i / 4;
      return "pixel (" + std::to_string(pixel % w) + ", " + std::to_string(pixel / w) + ") byte " +
             std::to_string(i % 4) + ": " + std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
    }
  }
  return "";
}

void ExpectEveryKernelMatches(const RemapTables& tables, const CameraMap& map, const std::vector<uint8_t>& source) {
  const std::vector<uint8_t> want = OpenCvRemap(map, source);
  for (RemapKernel kernel : {RemapKernel::Scalar, RemapKernel::Sse2, RemapKernel::Avx2}) {
    if (!HaveRemapKernel(kernel)) continue;
    SCOPED_TRACE("kernel " + std::to_string(static_cast<int>(kernel)));
    std::vector<uint8_t> got(source.size(), 0x5A);
    tables.Apply(source.data(), got.data(), kernel);
    EXPECT_EQ(FirstDifference(got, want, map.width), "");
  }
}

TEST(Remap, EveryKernelGivesOpenCvsFixedPointBytes) {
  struct Case {
    uint32_t width, height;
    Shape shape;
  };
  const Case cases[] = {
      {1, 1, Shape::Scattered},   {2, 3, Shape::Scattered},  {7, 5, Shape::Scattered},
      {33, 17, Shape::Scattered}, {101, 40, Shape::Scattered}, {1, 9, Shape::Turned},
      {17, 3, Shape::Turned},     {99, 61, Shape::Turned},   {640, 480, Shape::Turned},
  };
  std::mt19937 rng(23);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) +
                 (c.shape == Shape::Scattered ? " scattered" : " turned"));
    const CameraMap map = MakeMap(c.width, c.height, c.shape, rng);
    RemapTables tables;
    ASSERT_TRUE(tables.Build(map));
    ExpectEveryKernelMatches(tables, map, RandomPicture(c.width, c.height, rng));
  }
}

TEST(Remap, ALensModelsTablesGiveTheSameBytesAsBefore) {
  LensModel m;
  m.width = 321;
  m.height = 241;
  m.fx = m.fy = 321;
  m.cx = 160;
  m.cy = 120;
  m.k1 = -0.2;
  const double t = 10.0 * std::numbers::pi / 180.0;
  const double r[9] = {1, 0, 0, 0, std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t)};
  std::copy(r, r + 9, m.rotation);
  m.translation[2] = 321;
  CameraMap map;
  ASSERT_TRUE(MapOfModel(m, &map));
  RemapTables tables;
  ASSERT_TRUE(tables.Build(m));
  std::mt19937 rng(5);
  ExpectEveryKernelMatches(tables, map, RandomPicture(m.width, m.height, rng));

  // Refused: an unusable model, a map of no pixels or of the wrong length.
  m.fx = 0;
  EXPECT_FALSE(tables.Build(m));
  EXPECT_TRUE(tables.empty());
  EXPECT_FALSE(MapOfModel(m, &map));
  map.width = 4;
  map.height = 4;
  map.x.assign(15, 0.0f);
  map.y.assign(16, 0.0f);
  EXPECT_FALSE(tables.Build(map));
  map.width = 0;
  EXPECT_FALSE(tables.Build(map));
}

// More pixels than the packed tables index: every pixel takes the edge path.
TEST(Remap, APictureTooLargeForThePackedTablesGivesTheSameBytes) {
  std::mt19937 rng(7);
  const CameraMap map = MakeMap(2049, 2049, Shape::Turned, rng);
  RemapTables tables;
  ASSERT_TRUE(tables.Build(map));
  ExpectEveryKernelMatches(tables, map, RandomPicture(map.width, map.height, rng));
}

} // namespace
} // namespace orvane::rectify
