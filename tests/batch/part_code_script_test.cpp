// A part's code read by a script from a dropped picture: the identity it
// prints, the rows that carry it and the report that names it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include "batch/inspect_run.h"
#include "batch/script.h"
#include "support/pdf_text.h"
#include "support/station_fixture.h"
#include "tests/inspect/plate_program.h"
#include "tests/results/code_picture.h"

namespace orvane::batch {
namespace {

// A 24-bit BMP of w x h pixels, rows top-down in `pixels`.
void WriteBmp(const std::filesystem::path& path, int w, int h, const std::vector<uint8_t>& pixels) {
  const int stride = w * 3;
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

// A 640 x 480 picture, light grey, with the code drawn at (x, y) in modules
// of `module` pixels.
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
  WriteBmp(path, w, h, pixels);
}

using testing::PdfText;

// What a script run in `folder` prints; it must end well.
std::string RunIn(std::istream& script, const std::filesystem::path& folder) {
  std::ostringstream out, notes;
  Options options;
  options.folder = folder;
  options.notes = &notes;
  options.fixed_clock = true;
  EXPECT_EQ(RunScript(script, out, options), kScriptOk) << out.str();
  return out.str();
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
  const std::string text = RunIn(in, dir.path());
  EXPECT_NE(text.find("part-id \"SN-DM-7\"\npart-id none\npart-id \"SN-DM-7\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("report \"dm.pdf\" dimensions 1 verdict NO VERDICT\n"), std::string::npos) << text;
  EXPECT_NE(text.find("part-id \"SN-QR-8\"\n"), std::string::npos) << text;
  const std::string pdf = PdfText(dir.path() / "dm.pdf");
  EXPECT_NE(pdf.find("SN-DM-7"), std::string::npos) << pdf;
}

// A program that reads the part's code where its region follows the plate
// and requires an identity, a report after each run into a folder (never
// over a file that is there), and orvane-inspect's reports of the same
// pictures.
TEST(BatchPartCode, ProgramCodeRegionRequiredIdentityAndAutomaticReports) {
  testing::TempDir dir;
  const auto plate = [&](const char* name, double x, double y, double deg, const char* code) {
    std::mt19937_64 rng(5);
    testing::PlatePicture p = testing::RenderPlate(640, 480, x, y, deg, rng);
    const double c = std::cos(deg * M_PI / 180), s = std::sin(deg * M_PI / 180);
    // The code 160 px right of the plate's centre in its frame.
    if (code) test::StampCode(p.bgr.data(), 640, 480, ZXing::BarcodeFormat::DataMatrix, code, 3, deg, x + 160 * c, y + 160 * s);
    WriteBmp(dir.path() / name, 640, 480, p.bgr);
  };
  plate("P1.BMP", 320, 240, 0, "SN-1");
  plate("P2.BMP", 310, 250, 20, "SN-2");
  plate("P3.BMP", 330, 235, -10, nullptr);
  std::filesystem::create_directories(dir.path() / "reports");
  std::ofstream(dir.path() / "reports" / "SN-2.pdf") << "kept";
  std::istringstream in(
      "start\ndrop P1.BMP\npart-teach 190 160 450 320\nprogram new PLATE\n"
      "program width W1 290 165 290 315\ntolerance W1 120 0.5\n"
      "program part-id 435 195 90 90\nprogram part-id required on\noperator \"K. Tester\"\n"
      "report-auto on reports\nprogram run\nprogram save\n"
      "drop P2.BMP\nprogram run\ndrop P3.BMP\nprogram run\nreport last.pdf\n");
  const std::string text = RunIn(in, dir.path());
  for (const char* said : {"part-id \"SN-1\"\npart 1 pass\nreport saved \"reports/SN-1.pdf\"\n",
                           "part-id \"SN-2\"\npart 2 pass\nreport saved \"reports/SN-2-2.pdf\"\n",
                           "part-id none\nnot passed: no code read in the part-id region\npart 3 fail\n"
                           "report saved \"reports/part-3.pdf\"\n",
                           // The report of the last part is the run's, held back as the run was.
                           "report \"last.pdf\" dimensions 1 verdict FAIL\n"}) {
    EXPECT_NE(text.find(said), std::string::npos) << said << "\n" << text;
  }
  std::stringstream kept;
  kept << std::ifstream(dir.path() / "reports" / "SN-2.pdf").rdbuf();
  EXPECT_EQ(kept.str(), "kept");
  const struct {
    const char* file;
    std::vector<const char*> words;
  } reports[] = {
      {"reports/SN-1.pdf", {"SN-1", "K. Tester", "W1", "PASS", "PLATE"}},
      {"reports/SN-2-2.pdf", {"SN-2", "PASS"}},
      {"reports/part-3.pdf", {"FAIL", "no code read in the part-id region"}},
      {"last.pdf", {"FAIL", "PLATE", "no code read in the part-id region"}},
  };
  for (const auto& r : reports) {
    const std::string pdf = PdfText(dir.path() / r.file);
    for (const char* word : r.words) EXPECT_NE(pdf.find(word), std::string::npos) << r.file << ": " << word << "\n" << pdf;
  }

  // orvane-inspect: a report a picture whose part is found, named from its
  // code or its picture.
  InspectOptions inspect;
  inspect.folder = dir.path();
  inspect.program = "PLATE";
  inspect.report_folder = dir.path() / "inspected";
  std::filesystem::create_directories(inspect.report_folder);
  for (const char* p : {"P1.BMP", "P3.BMP"}) inspect.pictures.push_back((dir.path() / p).string());
  std::ostringstream csv, errors;
  EXPECT_EQ(RunInspect(inspect, csv, errors), kInspectFailed) << errors.str();
  EXPECT_EQ(errors.str(), "orvane-inspect: " + inspect.pictures[1] + ": not passed: no code read in the part-id region\n");
  const std::string first = PdfText(inspect.report_folder / "SN-1.pdf");
  for (const char* word : {"SN-1", "K. Tester", "PASS", "PLATE"}) EXPECT_NE(first.find(word), std::string::npos) << word << first;
  EXPECT_NE(PdfText(inspect.report_folder / "P3.pdf").find("FAIL"), std::string::npos);
}

} // namespace
} // namespace orvane::batch
