// A part's code read by a script from a dropped picture: the identity it
// prints, the rows that carry it and the report that names it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include "batch/script.h"
#include "support/station_fixture.h"

namespace orvane::batch {
namespace {

// A 24-bit BMP, 640 x 480, light grey, with the code drawn at (x, y) in
// modules of `module` pixels.
void WriteCodePicture(const std::filesystem::path& path, ZXing::BarcodeFormat format, const std::string& text,
                      int x, int y, int module) {
  const ZXing::BitMatrix m = ZXing::MultiFormatWriter(format).setMargin(2).encode(text, 0, 0);
  const int w = 640, h = 480, stride = w * 3;
  std::vector<uint8_t> pixels(size_t(stride) * h, 200);
  for (int v = 0; v < m.height() * module; ++v) {
    for (int u = 0; u < m.width() * module; ++u) {
      const uint8_t g = m.get(u / module, v / module) ? 20 : 235;
      for (int k = 0; k < 3; ++k) pixels[size_t(y + v) * stride + (x + u) * 3 + k] = g;
    }
  }
  auto le = [](std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(char(value >> (8 * i)));
  };
  std::ofstream out(path, std::ios::binary);
  out << "BM";
  le(out, 54 + pixels.size(), 4);
  le(out, 0, 4);
  le(out, 54, 4);
  le(out, 40, 4);
  le(out, w, 4);
  le(out, h, 4);
  le(out, 1, 2);
  le(out, 24, 2);
  le(out, 0, 4);
  le(out, pixels.size(), 4);
  le(out, 2835, 4);
  le(out, 2835, 4);
  le(out, 0, 4);
  le(out, 0, 4);
  for (int row = h - 1; row >= 0; --row) out.write(reinterpret_cast<const char*>(&pixels[size_t(row) * stride]), stride);
}

TEST(BatchPartCode, ReadFromADroppedPictureIntoRowsAndReport) {
  testing::TempDir dir;
  WriteCodePicture(dir.path() / "DM.BMP", ZXing::BarcodeFormat::DataMatrix, "SN-DM-7", 470, 330, 3);
  WriteCodePicture(dir.path() / "QR.BMP", ZXing::BarcodeFormat::QRCode, "SN-QR-8", 40, 40, 3);
  std::istringstream in(
      "start\nsolution \"Manual Measurement\"\ndrop DM.BMP\npart-id read\n"
      "part-id read 0 0 200 200\n"       // a region without the code
      "part-id read 400 300 240 180\n"   // the region with it
      "distance 24 ok\nmouse down 100 240\nmouse up 100 240\nmouse down 300 240\nmouse up 300 240\n"
      "report dm.pdf a4\n"
      "drop QR.BMP\npart-id read\n");
  std::ostringstream out;
  std::ostringstream notes;
  Options options;
  options.folder = dir.path();
  options.notes = &notes;
  options.fixed_clock = true;
  EXPECT_EQ(RunScript(in, out, options), kScriptOk) << out.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("part-id \"SN-DM-7\"\npart-id none\npart-id \"SN-DM-7\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("report \"dm.pdf\" dimensions 1 verdict NO VERDICT\n"), std::string::npos) << text;
  EXPECT_NE(text.find("part-id \"SN-QR-8\"\n"), std::string::npos) << text;
  std::string pdf;
  if (FILE* pipe = popen(("pdftotext '" + (dir.path() / "dm.pdf").string() + "' -").c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) pdf.append(buffer, n);
    pclose(pipe);
  }
  EXPECT_NE(pdf.find("SN-DM-7"), std::string::npos) << pdf;
}

} // namespace
} // namespace orvane::batch
