// The conversion library as the program uses it: through its two exports,
// on files in a temporary folder.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixora.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A picture in the program's layout without padding: B, G, R, rows top-down.
struct Image {
  int width = 0;
  int height = 0;
  Bytes bgr;
  const std::uint8_t* at(int x, int y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

Image Draw(int width, int height) {
  Image image{width, height, Bytes(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &image.bgr[(static_cast<size_t>(y) * width + x) * 3];
      // Smooth gradients with a flat yellow quarter: within JPEG's reach at
      // any size, yet every position distinguishable in orientation checks.
      const bool yellow = x < width / 2 && y < height / 2;
      p[0] = yellow ? 20 : static_cast<std::uint8_t>(40 + 160 * x / width);
      p[1] = yellow ? 220 : static_cast<std::uint8_t>(30 + 180 * y / height);
      p[2] = yellow ? 230 : 90;
    }
  return image;
}

void Put32(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Reference BMP writer: 24 or 32 bits, either row order.
Bytes EncodeBmp(const Image& image, int bits, bool bottom_up) {
  const size_t row = bits == 24 ? (image.width * 3 + 3) / 4 * 4 : image.width * 4;
  Bytes file(54 + row * image.height, 0);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 10, 54);
  Put32(file, 14, 40);
  Put32(file, 18, image.width);
  Put32(file, 22, bottom_up ? image.height : -image.height);
  file[26] = 1;
  file[28] = static_cast<std::uint8_t>(bits);
  for (int y = 0; y < image.height; ++y) {
    const int file_row = bottom_up ? image.height - 1 - y : y;
    for (int x = 0; x < image.width; ++x)
      std::copy_n(image.at(x, y), 3, &file[54 + file_row * row + x * (bits / 8)]);
  }
  return file;
}

// Checks the exact layout cvtJPEGTOBMP promises and returns the picture.
std::optional<Image> DecodeWrittenBmp(const Bytes& file) {
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const int width = static_cast<int>(Get32(file, 18)), height = static_cast<int>(Get32(file, 22));
  const size_t row = (width * 3 + 3) / 4 * 4;
  EXPECT_EQ(Get32(file, 2), file.size());
  EXPECT_EQ(Get32(file, 10), 54u);
  EXPECT_EQ(Get32(file, 14), 40u);
  EXPECT_EQ(file[26] | file[27] << 8, 1);
  EXPECT_EQ(file[28] | file[29] << 8, 24);
  EXPECT_EQ(Get32(file, 30), 0u);
  if (width < 1 || height < 1 || file.size() != 54 + row * height) return std::nullopt;
  Image image{width, height, Bytes(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = &file[54 + (height - 1 - y) * row];
    std::copy_n(src, width * 3, &image.bgr[static_cast<size_t>(y) * width * 3]);
    for (size_t pad = width * 3; pad < row; ++pad) EXPECT_EQ(src[pad], 0) << "padding of row " << y;
  }
  return image;
}

int MaxDifference(const Image& a, const Image& b) {
  int worst = 0;
  for (size_t i = 0; i < a.bgr.size(); ++i) worst = std::max(worst, std::abs(a.bgr[i] - b.bgr[i]));
  return worst;
}

double MeanDifference(const Image& a, const Image& b) {
  double sum = 0;
  for (size_t i = 0; i < a.bgr.size(); ++i) sum += std::abs(a.bgr[i] - b.bgr[i]);
  return sum / static_cast<double>(a.bgr.size());
}

// The frame header of a JPEG: marker (0xC0 baseline, 0xC2 progressive),
// size, and each component's sampling factors; at is the header's offset.
struct JpegFrame {
  int marker = 0, width = 0, height = 0;
  size_t at = 0;
  std::vector<int> sampling;
  std::vector<int> first_quant_values;  // entry 0 of every 8-bit table
};

JpegFrame ReadFrame(const Bytes& jpeg) {
  JpegFrame frame;
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const int marker = jpeg[i + 1];
    const size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
    if (marker == 0xDB)
      for (size_t t = i + 4; t + 65 <= i + 2 + length; t += 65) frame.first_quant_values.push_back(jpeg[t + 1]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      frame.marker = marker;
      frame.at = i;
      frame.height = jpeg[i + 5] << 8 | jpeg[i + 6];
      frame.width = jpeg[i + 7] << 8 | jpeg[i + 8];
      for (int c = 0; c < jpeg[i + 9]; ++c) frame.sampling.push_back(jpeg[i + 11 + 3 * c]);
      return frame;
    }
    i += 2 + length;
  }
  return frame;
}

bool HaveImageMagick() {
  static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
  return have;
}

class PixoraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pixora_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const Bytes& data) const {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }
  // Every file in the folder: a failed or finished conversion leaves no
  // temporary file behind.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }
  // Drawn image -> BMP -> JPEG at the quality; returns the JPEG bytes.
  Bytes MakeJpeg(const Image& image, const char* quality, const std::string& name = "in.jpg") {
    Write("src.bmp", EncodeBmp(image, 24, true));
    EXPECT_EQ(cvtBMPTOJPEG("-quality", quality, Path("src.bmp").c_str(), Path(name).c_str()), PIXORA_OK);
    return Read(name);
  }
  std::optional<Image> JpegToImage(const std::string& jpeg_name) {
    if (cvtJPEGTOBMP("-bmp", Path(jpeg_name).c_str(), Path("out.bmp").c_str()) != PIXORA_OK) return std::nullopt;
    return DecodeWrittenBmp(Read("out.bmp"));
  }
  // A conversion that must fail and leave the old destination as it was.
  void ExpectJpegRefused(const Bytes& jpeg, int expected) {
    Write("bad.jpg", jpeg);
    const Bytes old = {'o', 'l', 'd'};
    Write("dst.bmp", old);
    const auto before = Listing();
    EXPECT_EQ(cvtJPEGTOBMP("-bmp", Path("bad.jpg").c_str(), Path("dst.bmp").c_str()), expected);
    EXPECT_EQ(Read("dst.bmp"), old);
    EXPECT_EQ(Listing(), before);
  }

  fs::path dir_;
};

TEST_F(PixoraTest, RoundTripKeepsSizeAndColours) {
  for (const char* quality : {"100", "95"}) {
    SCOPED_TRACE(quality);
    const Image image = Draw(37, 23);  // odd width: rows need padding
    const JpegFrame frame = ReadFrame(MakeJpeg(image, quality));
    EXPECT_EQ(frame.marker, 0xC0) << "baseline";
    EXPECT_EQ(frame.width, 37);
    EXPECT_EQ(frame.height, 23);
    const auto back = JpegToImage("in.jpg");
    ASSERT_TRUE(back);
    ASSERT_EQ(back->width, 37);
    ASSERT_EQ(back->height, 23);
    // At 95 the halved colour planes blur the yellow quarter's edge; the
    // picture as a whole stays close.
    const bool hq = std::string(quality) == "100";
    EXPECT_LE(MaxDifference(image, *back), hq ? 4 : 110);
    EXPECT_LE(MeanDifference(image, *back), hq ? 1.0 : 4.0);
    EXPECT_EQ(Listing(), (std::set<std::string>{"src.bmp", "in.jpg", "out.bmp"}));
  }
}

TEST_F(PixoraTest, ReadsEveryAcceptedBmpLayoutUpright) {
  const Image image = Draw(19, 12);
  for (int bits : {24, 32})
    for (bool bottom_up : {true, false}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, bottom-up " << bottom_up);
      Write("src.bmp", EncodeBmp(image, bits, bottom_up));
      ASSERT_EQ(cvtBMPTOJPEG("-quality", "100", Path("src.bmp").c_str(), Path("in.jpg").c_str()), PIXORA_OK);
      const auto back = JpegToImage("in.jpg");
      ASSERT_TRUE(back);
      EXPECT_LE(MaxDifference(image, *back), 4);
    }
}

TEST_F(PixoraTest, ExtremeSizesConvert) {
  for (auto [w, h] : {std::pair{1, 1}, std::pair{8192, 1}, std::pair{1, 8192}}) {
    const Image image = Draw(w, h);
    MakeJpeg(image, "95");
    const auto back = JpegToImage("in.jpg");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, w);
    EXPECT_EQ(back->height, h);
  }
}

TEST_F(PixoraTest, HighQualityKeepsFullColourResolution) {
  // One-pixel red and blue columns: halved colour planes smear them to purple.
  Image stripes{32, 16, Bytes(32 * 16 * 3)};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      std::uint8_t* p = &stripes.bgr[(y * 32 + x) * 3];
      p[0] = x % 2 ? 255 : 0;
      p[2] = x % 2 ? 0 : 255;
    }
  const JpegFrame hq = ReadFrame(MakeJpeg(stripes, "100", "hq.jpg"));
  const JpegFrame normal = ReadFrame(MakeJpeg(stripes, "95", "normal.jpg"));
  EXPECT_EQ(hq.sampling, (std::vector<int>{0x11, 0x11, 0x11}));
  EXPECT_EQ(normal.sampling, (std::vector<int>{0x22, 0x11, 0x11}));
  // Quality scaling of the standard tables: every entry 1 at 100, the
  // DC entries 16 and 17 scaled to 2 at 95.
  EXPECT_EQ(hq.first_quant_values, (std::vector<int>{1, 1}));
  EXPECT_EQ(normal.first_quant_values, (std::vector<int>{2, 2}));

  const auto hq_back = JpegToImage("hq.jpg");
  const auto normal_back = JpegToImage("normal.jpg");
  ASSERT_TRUE(hq_back && normal_back);
  EXPECT_LE(MaxDifference(stripes, *hq_back), 40);
  EXPECT_GE(MaxDifference(stripes, *normal_back), 100);
}

TEST_F(PixoraTest, ConvertsGreyscaleProgressiveCmykAndOddlySampledJpegs) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const Image image = Draw(40, 24);
  Write("src.bmp", EncodeBmp(image, 24, true));
  struct Case {
    const char* options;
    int marker;
    size_t components;
  };
  for (const Case& c : {Case{"-colorspace Gray -type Grayscale", 0xC0, 1}, Case{"-interlace JPEG", 0xC2, 3},
                        Case{"-colorspace CMYK", 0xC0, 4}, Case{"-sampling-factor 3x1", 0xC0, 3},
                        Case{"-sampling-factor 4x2", 0xC0, 3}}) {
    SCOPED_TRACE(c.options);
    const std::string command =
        "convert " + Path("src.bmp") + " " + c.options + " -quality 98 " + Path("made.jpg") + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const JpegFrame frame = ReadFrame(Read("made.jpg"));
    ASSERT_EQ(frame.marker, c.marker);
    ASSERT_EQ(frame.sampling.size(), c.components);
    const auto back = JpegToImage("made.jpg");
    ASSERT_TRUE(back);
    if (c.components == 1) {
      for (int i = 0; i < 40 * 24; ++i) {
        EXPECT_EQ(back->bgr[i * 3], back->bgr[i * 3 + 1]);
        EXPECT_EQ(back->bgr[i * 3], back->bgr[i * 3 + 2]);
      }
      const auto [darkest, brightest] = std::minmax_element(back->bgr.begin(), back->bgr.end());
      EXPECT_GE(*brightest - *darkest, 50) << "the picture survives as shades of grey";
    } else {
      // Subsampled colour blurs the yellow quarter's edge, hence the mean.
      EXPECT_LE(MeanDifference(image, *back), 5.0);
    }
  }
}

TEST_F(PixoraTest, DamagedJpegFailsWithoutTouchingDestination) {
  const Bytes jpeg = MakeJpeg(Draw(64, 48), "95");
  ExpectJpegRefused(Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), PIXORA_ERR_FORMAT);
  ExpectJpegRefused(Bytes(jpeg.begin(), jpeg.begin() + 100), PIXORA_ERR_FORMAT);
  Bytes garbage = {0xFF, 0xD8};
  for (int i = 0; i < 500; ++i) garbage.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  ExpectJpegRefused(garbage, PIXORA_ERR_FORMAT);
  ExpectJpegRefused({}, PIXORA_ERR_FORMAT);
  ExpectJpegRefused(EncodeBmp(Draw(4, 4), 24, true), PIXORA_ERR_FORMAT);
  // Corrupt entropy-coded data in the middle: a decoder warning, still a failure.
  Bytes corrupt = jpeg;
  std::fill(corrupt.end() - 200, corrupt.end() - 100, 0xFF);
  ExpectJpegRefused(corrupt, PIXORA_ERR_FORMAT);
  EXPECT_EQ(cvtJPEGTOBMP("-bmp", Path("missing.jpg").c_str(), Path("dst.bmp").c_str()), PIXORA_ERR_READ);
  EXPECT_EQ(cvtJPEGTOBMP("-bmp", dir_.c_str(), Path("dst.bmp").c_str()), PIXORA_ERR_READ);
}

TEST_F(PixoraTest, OversizedJpegRefusedFromItsHeader) {
  const Bytes jpeg = MakeJpeg(Draw(8, 8), "95");
  const JpegFrame frame = ReadFrame(jpeg);
  ASSERT_EQ(frame.width, 8);
  for (size_t field : {frame.at + 5, frame.at + 7}) {  // height, then width
    Bytes patched = jpeg;
    patched[field] = 9000 >> 8;
    patched[field + 1] = 9000 & 0xFF;
    ExpectJpegRefused(patched, PIXORA_ERR_TOO_LARGE);
  }
}

TEST_F(PixoraTest, BmpOutsideTheReadRulesRefused) {
  const Bytes good = EncodeBmp(Draw(3, 2), 24, true);
  ASSERT_EQ(good.size(), 78u);
  Write("good.bmp", good);
  EXPECT_EQ(cvtBMPTOJPEG("-quality", "95", Path("good.bmp").c_str(), Path("good.jpg").c_str()), PIXORA_OK);

  struct Case {
    const char* what;
    size_t at;    // byte to patch; SIZE_MAX: append a byte, 0: drop the last
    std::uint32_t value;
    int bytes;
    int expected;
  };
  const Case cases[] = {
      {"one byte more", SIZE_MAX, 0, 0, PIXORA_ERR_FORMAT},
      {"one byte less", 0, 0, 0, PIXORA_ERR_FORMAT},
      {"signature", 1, 'A', 1, PIXORA_ERR_FORMAT},
      {"8-bit palette", 28, 8, 2, PIXORA_ERR_FORMAT},
      {"compressed", 30, 1, 4, PIXORA_ERR_FORMAT},
      {"pixel offset", 10, 58, 4, PIXORA_ERR_FORMAT},
      {"width 0", 18, 0, 4, PIXORA_ERR_FORMAT},
      {"width 8193", 18, 8193, 4, PIXORA_ERR_TOO_LARGE},
      {"height INT_MIN", 22, 0x80000000u, 4, PIXORA_ERR_TOO_LARGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bad = good;
    if (c.at == SIZE_MAX) bad.push_back(0);
    else if (c.bytes == 0) bad.pop_back();
    else
      for (int i = 0; i < c.bytes; ++i) bad[c.at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
    Write("bad.bmp", bad);
    EXPECT_EQ(cvtBMPTOJPEG("-quality", "95", Path("bad.bmp").c_str(), Path("bad.jpg").c_str()), c.expected);
    EXPECT_FALSE(Exists("bad.jpg"));
  }
}

TEST_F(PixoraTest, WrongArgumentsRefused) {
  Write("src.bmp", EncodeBmp(Draw(8, 8), 24, true));
  const std::string src = Path("src.bmp"), jpg = Path("out.jpg");
  for (const char* value : {"0", "101", "", " 95", "95 ", "9a", "-95", "0095", "95.0"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(cvtBMPTOJPEG("-quality", value, src.c_str(), jpg.c_str()), PIXORA_ERR_ARGUMENT);
  }
  EXPECT_EQ(cvtBMPTOJPEG("-Quality", "95", src.c_str(), jpg.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtBMPTOJPEG("-bmp", "95", src.c_str(), jpg.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtBMPTOJPEG(nullptr, "95", src.c_str(), jpg.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtBMPTOJPEG("-quality", nullptr, src.c_str(), jpg.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtBMPTOJPEG("-quality", "95", src.c_str(), ""), PIXORA_ERR_ARGUMENT);
  EXPECT_FALSE(Exists("out.jpg"));
  EXPECT_EQ(cvtBMPTOJPEG("-quality", "1", src.c_str(), jpg.c_str()), PIXORA_OK);

  const std::string bmp = Path("out.bmp");
  EXPECT_EQ(cvtJPEGTOBMP("-BMP", jpg.c_str(), bmp.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtJPEGTOBMP("-quality", jpg.c_str(), bmp.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtJPEGTOBMP("-bmp", nullptr, bmp.c_str()), PIXORA_ERR_ARGUMENT);
  EXPECT_EQ(cvtJPEGTOBMP("-bmp", jpg.c_str(), nullptr), PIXORA_ERR_ARGUMENT);
  EXPECT_FALSE(Exists("out.bmp"));
}

TEST_F(PixoraTest, UnwritableDestinationFailsCleanly) {
  MakeJpeg(Draw(8, 8), "95");
  const auto before = Listing();
  EXPECT_EQ(cvtJPEGTOBMP("-bmp", Path("in.jpg").c_str(), Path("no/such/folder.bmp").c_str()), PIXORA_ERR_WRITE);
  fs::create_directory(dir_ / "a_folder");
  EXPECT_EQ(cvtBMPTOJPEG("-quality", "95", Path("src.bmp").c_str(), Path("a_folder").c_str()), PIXORA_ERR_WRITE);
  EXPECT_TRUE(fs::is_empty(dir_ / "a_folder"));
  fs::remove(dir_ / "a_folder");
  EXPECT_EQ(Listing(), before);
}

TEST(PixoraLibrary, ExportsExactlyTheTwoConversions) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&cvtJPEGTOBMP), &info), 0);
  const std::string library = info.dli_fname;
  ASSERT_NE(library.find("libpixora"), std::string::npos) << library;

  // Imported by name, as the program does.
  void* handle = dlopen(library.c_str(), RTLD_NOW);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "cvtJPEGTOBMP"), nullptr);
  EXPECT_NE(dlsym(handle, "cvtBMPTOJPEG"), nullptr);
  dlclose(handle);

  FILE* nm = popen(("nm -D --defined-only " + library + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> symbols;
  char line[512];
  while (fgets(line, sizeof line, nm)) {
    std::string text(line);
    text.erase(text.find_last_not_of("\r\n") + 1);
    const size_t space = text.rfind(' ');
    if (space != std::string::npos && space >= 2 && text[space - 1] != 'A') symbols.insert(text.substr(space + 1));
  }
  if (pclose(nm) != 0) GTEST_SKIP() << "nm is not available";
  EXPECT_EQ(symbols, (std::set<std::string>{"cvtBMPTOJPEG", "cvtJPEGTOBMP"}));
}

}  // namespace
