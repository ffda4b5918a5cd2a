// The virtual camera's folder pictures take the limits of a dropped picture:
// a progressive JPEG with an unreasonable number of scans is refused rather
// than decoded for a minute, and a pipe among the pictures is never read.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/video/picture_file.h"
#include "support/station_fixture.h"

namespace orvane::video {
namespace {

namespace fs = std::filesystem;

// An 8 x 8 grey progressive JPEG with `extra` DC scans put before its end,
// after a DC table of one code: each is a valid scan of its one block (a
// difference of 0), however many there are.
std::vector<uint8_t> ManyScanJpeg(int extra) {
  std::vector<uint8_t> grey(64);
  for (int i = 0; i < 64; ++i) grey[i] = static_cast<uint8_t>(i * 4);
  tjhandle tj = tjInitCompress();
  unsigned char* data = nullptr;
  unsigned long size = 0;
  const int result = tjCompress2(tj, grey.data(), 8, 8, 8, TJPF_GRAY, &data, &size, TJSAMP_GRAY,
                                 90, TJFLAG_PROGRESSIVE);
  tjDestroy(tj);
  std::vector<uint8_t> jpeg;
  if (result != 0) return jpeg;
  jpeg.assign(data, data + size);
  tjFree(data);
  uint8_t component = 1;
  for (size_t i = 2; i + 5 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) component = jpeg[i + 5];
  }
  const std::vector<uint8_t> scan = {0xFF, 0xDA, 0x00, 0x08, 0x01, component, 0x00,
                                     0x00, 0x00, 0x00, 0x7F};
  std::vector<uint8_t> out(jpeg.begin(), jpeg.end() - 2);
  const std::vector<uint8_t> table = {0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0,
                                      0,    0,    0,    0,    0,    0, 0, 0, 0, 0};
  out.insert(out.end(), table.begin(), table.end());
  for (int i = 0; i < extra; ++i) out.insert(out.end(), scan.begin(), scan.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

TEST(PictureFile, ScanLimitAndPipes) {
  testing::TempDir dir;
  struct Case {
    int extra;
    bool loads;
  };
  for (const Case c : {Case{0, true}, Case{20, true}, Case{2000, false}}) {
    const std::vector<uint8_t> jpeg = ManyScanJpeg(c.extra);
    ASSERT_FALSE(jpeg.empty());
    const fs::path path = dir.path() / "scans.jpg";
    testing::WriteBytes(path, jpeg.data(), jpeg.size());
    Picture picture;
    EXPECT_EQ(LoadPictureFile(path, &picture), c.loads) << c.extra << " extra scans";
  }
  const fs::path pipe = dir.path() / "pipe.jpg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  Picture picture;
  EXPECT_FALSE(LoadPictureFile(pipe, &picture));
}

}  // namespace
}  // namespace orvane::video
