// Still images against files that no code of ours wrote or reads: BMP and JPEG
// files made by ImageMagick load with the right pixels, and ImageMagick reads
// the files that Save writes. Skipped where ImageMagick's convert is missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/file_mode.h"
#include "acquisition/pixels.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/save_image.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kW = 37; // odd, so 24-bit rows carry padding
constexpr uint32_t kH = 23;

bool HaveConvert() {
  static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
  return have;
}

bool Shell(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// A smooth picture, R, G, B per pixel in reading order, so JPEG keeps it
// close: (x, y) = R 40 + 5x, G 30 + 8y, B 200 - 3x - 2y.
Bytes SourceRgb() {
  Bytes rgb;
  for (uint32_t y = 0; y < kH; ++y) {
    for (uint32_t x = 0; x < kW; ++x) {
      rgb.push_back(uint8_t(40 + 5 * x));
      rgb.push_back(uint8_t(30 + 8 * y));
      rgb.push_back(uint8_t(200 - 3 * x - 2 * y));
    }
  }
  return rgb;
}

// The frame of the current image as R, G, B in reading order.
Bytes FrameRgb(const ImageState& im) {
  Bytes rgb;
  for (uint32_t y = 0; y < im.height; ++y) {
    const uint8_t* p = im.frame + size_t(y) * im.stride;
    for (uint32_t x = 0; x < im.width; ++x, p += 3) {
      rgb.push_back(p[2]);
      rgb.push_back(p[1]);
      rgb.push_back(p[0]);
    }
  }
  return rgb;
}

int WorstDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

uint16_t U16At(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

class InteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    OpenWorkspace(st);
    st.working->option_index = 0;
    const Bytes rgb = SourceRgb();
    std::ofstream out(Path("source.ppm"), std::ios::binary);
    out << "P6\n" << kW << " " << kH << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    out.close();
    EnterFileMode(st);
  }

  fs::path Path(const std::string& name) const { return f.dir.path() / name; }

  // Makes `name` from the source picture with these convert options.
  void Make(const std::string& options, const std::string& name) {
    ASSERT_TRUE(Shell("convert " + Q(Path("source.ppm")) + " " + options + " " + name))
        << options << " " << name;
  }

  uint32_t Load(const fs::path& path) {
    st.image.still_path = path.string();
    return LoadStillImage(st);
  }

  // ImageMagick's reading of a file: its size and its pixels as R, G, B.
  bool MagickRead(const fs::path& file, uint32_t* w, uint32_t* h, Bytes* rgb) {
    const fs::path size = Path("size.txt"), raw = Path("pixels.rgb");
    if (!Shell("identify -format '%w %h' " + Q(file) + " > " + Q(size))) return false;
    std::ifstream(size) >> *w >> *h;
    if (!Shell("convert " + Q(file) + " -depth 8 rgb:" + Q(raw))) return false;
    *rgb = testing::ReadBytes(raw);
    return true;
  }

  testing::StationFixture f;
  Station& st = f.station;
};

TEST_F(InteropTest, MagickBmpsLoadWithTheirExactPixels) {
  Make("-type TrueColor", "BMP3:" + Q(Path("plain24.bmp")));
  Make("-alpha set -define bmp3:alpha=true", "BMP3:" + Q(Path("plain32.bmp")));
  const Bytes file24 = testing::ReadBytes(Path("plain24.bmp"));
  const Bytes file32 = testing::ReadBytes(Path("plain32.bmp"));
  ASSERT_EQ(U16At(file24, 28), 24);
  ASSERT_EQ(U16At(file32, 28), 32);

  // The same picture top-down: rows in reverse order, height negated. That
  // ImageMagick reads it as the source is what vouches for the file.
  const uint32_t row = (kW * 3 + 3) / 4 * 4;
  Bytes down(file24.begin(), file24.begin() + 54);
  for (uint32_t r = 0; r < kH; ++r) {
    const auto from = file24.begin() + 54 + size_t(kH - 1 - r) * row;
    down.insert(down.end(), from, from + row);
  }
  const int32_t negative = -int32_t(kH);
  std::memcpy(&down[22], &negative, 4);
  testing::WriteBytes(Path("down24.bmp"), down.data(), down.size());
  uint32_t w = 0, h = 0;
  Bytes magick;
  ASSERT_TRUE(MagickRead(Path("down24.bmp"), &w, &h, &magick));
  ASSERT_EQ(magick, SourceRgb()) << "ImageMagick reads the top-down file as the source";

  for (const char* name : {"plain24.bmp", "plain32.bmp", "down24.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Load(Path(name)), row * kH);
    EXPECT_EQ(st.image.width, kW);
    EXPECT_EQ(st.image.height, kH);
    EXPECT_EQ(FrameRgb(st.image), SourceRgb());
  }
  EXPECT_TRUE(f.surface.message_boxes().empty());
}

TEST_F(InteropTest, MagickDefaultBmpWithItsLargerHeaderIsRefused) {
  Make("", Q(Path("v5.bmp")));
  const Bytes file = testing::ReadBytes(Path("v5.bmp"));
  ASSERT_GT(file.size(), 18u);
  ASSERT_GT(file[14], 40) << "expected a header longer than 40 bytes";
  EXPECT_EQ(Load(Path("v5.bmp")), 0u);
  EXPECT_EQ(f.surface.message_boxes().size(), 1u);
}

TEST_F(InteropTest, MagickJpegsLoadCloseToTheirDecoding) {
  struct Case {
    const char* options;
    const char* name;
    bool grey;
  };
  for (const Case& c : {Case{"-quality 92", "base.jpg", false},
                        Case{"-colorspace Gray -type Grayscale", "grey.jpg", true},
                        Case{"-interlace JPEG -quality 90", "progressive.jpg", false},
                        Case{"-quality 95", "named-as.bmp", false}}) {
    SCOPED_TRACE(c.name);
    Make(c.options, "JPEG:" + Q(Path(c.name)));
    const Bytes file = testing::ReadBytes(Path(c.name));
    if (std::string(c.name) == "progressive.jpg") {
      bool sof2 = false;
      for (size_t i = 0; i + 1 < file.size(); ++i) sof2 |= file[i] == 0xFF && file[i + 1] == 0xC2;
      ASSERT_TRUE(sof2) << "not a progressive JPEG";
    }
    ASSERT_EQ(Load(Path(c.name)), (kW * 3 + 3) / 4 * 4 * kH);
    ASSERT_EQ(st.image.width, kW);
    ASSERT_EQ(st.image.height, kH);
    const Bytes loaded = FrameRgb(st.image);
    uint32_t w = 0, h = 0;
    Bytes magick;
    ASSERT_TRUE(MagickRead(Path(c.name), &w, &h, &magick));
    EXPECT_LE(WorstDifference(loaded, magick), 2);
    if (c.grey) {
      for (size_t i = 0; i < loaded.size(); i += 3) {
        ASSERT_EQ(loaded[i], loaded[i + 1]);
        ASSERT_EQ(loaded[i], loaded[i + 2]);
      }
    } else {
      EXPECT_LE(WorstDifference(loaded, SourceRgb()), 10);
    }
  }
  EXPECT_TRUE(f.surface.message_boxes().empty());
}

TEST_F(InteropTest, MagickReadsWhatSaveWrites) {
  Make("-type TrueColor", "BMP3:" + Q(Path("plain24.bmp")));
  ASSERT_NE(Load(Path("plain24.bmp")), 0u);
  // Marks in the overlay: a red pixel at (0, 0) and a green one at (36, 22).
  st.image.overlay[2] = 250;
  st.image.overlay[0] = 1;
  st.image.overlay[1] = 1;
  uint8_t* last = st.image.overlay + size_t(kH - 1) * st.image.stride + (kW - 1) * 3;
  last[0] = 1;
  last[1] = 240;
  last[2] = 1;
  Bytes marked = SourceRgb();
  marked[0] = 250;
  marked[1] = 1;
  marked[2] = 1;
  const size_t end = marked.size() - 3;
  marked[end] = 1;
  marked[end + 1] = 240;
  marked[end + 2] = 1;

  struct Case {
    uint32_t preference;
    const char* name;
    const Bytes* want;
    int tolerance;
  };
  const Bytes source = SourceRgb();
  for (const Case& c : {Case{0, "IMAGE0.BMP", &source, 0}, Case{3, "IMAGE1.BMP", &marked, 0},
                        Case{1, "IMAGE2.JPG", &source, 12}, Case{2, "IMAGE3.JPG", &source, 6},
                        Case{5, "IMAGE4.JPG", &marked, 8}}) {
    SCOPED_TRACE(c.name);
    st.settings.image_save_preference = c.preference;
    SaveCommand(st);
    uint32_t w = 0, h = 0;
    Bytes rgb;
    ASSERT_TRUE(MagickRead(Path("Saved") / c.name, &w, &h, &rgb));
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    EXPECT_LE(WorstDifference(rgb, *c.want), c.tolerance);
  }
}

} // namespace
} // namespace orvane
