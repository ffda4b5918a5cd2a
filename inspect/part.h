// The station's taught part: one shape model taught from a rectangle of the
// picture, kept in its own file in the working folder, and found again in
// later pictures at any position and turn. Inspection programs place their
// steps in the frame of the part found here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qgauge.h>

#include "station/station.h"

namespace orvane {

// The taught part's file, in the working folder.
inline constexpr const char* kPartModelName = "PART.QGM";

// Where the taught rectangle's centre lies in a picture and by how much the
// part turned (degrees, from +x towards +y, in (-180, 180]), with the
// standard uncertainties of each and the share of model edges matched.
struct PartPose {
  double x = 0.0, y = 0.0, angle_deg = 0.0, score = 0.0;
  double u_x = 0.0, u_y = 0.0, u_angle_deg = 0.0;
};

// A rectangle [x0, x1) x [y0, y1) in the gauge library's pixel coordinates.
struct PartRect {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};

struct QgPartModelDeleter {
  void operator()(qgPartModel* m) const { qgPartModelFree(m); }
};
using PartModelPtr = std::unique_ptr<qgPartModel, QgPartModelDeleter>;

class PartSession {
 public:
  explicit PartSession(Station& station);

  // Teaches the part in `rect` of the current picture and saves the model;
  // false with the reason in `why` (nothing changed) when it cannot.
  bool Teach(PartRect rect, std::string* why);
  // The instances of the taught part in the current picture, best first (at
  // most one unless `all`); empty when none is found or nothing is taught.
  std::vector<PartPose> Find(bool all);
  // The same; `why` says why no search could run (nothing taught, no
  // picture), and is empty when the search ran, whether or not it found.
  std::vector<PartPose> Find(bool all, std::string* why);
  // The taught model, loaded from the file on first use; null when none
  // (or the file is damaged: said once through the station's note).
  const qgPartModel* model();
  // The model's bytes, as stored (empty without a model).
  std::vector<uint8_t> ModelBytes();

  // The instances last found to be shown on the overlay, and the picture
  // they were found in (PictureFingerprint): a new picture shows none.
  std::vector<PartPose> shown;
  uint64_t shown_picture = 0;

 private:
  bool Store(const qgPartModel* fresh, std::string* why);

  Station& station_;
  PartModelPtr model_;
  bool loaded_ = false;
  bool damaged_ = false;    // the file is there but no model: set aside before a new one
  bool unreadable_ = false; // the file is there but cannot be read: left alone
};

// The station's part session, made on first use.
PartSession& PartOf(Station& station);

// A fingerprint of the current picture's size and pixels, so that marks
// found in one picture are never drawn over another.
uint64_t PictureFingerprint(const ImageState& image);

// What a taught model's warning flags (qgPartModelInfo) mean, one sentence
// each; empty for none.
std::vector<std::string> PartWarnings(int32_t flags);

// "X Y ANGLE SCORE" with three decimals each, the angle in (-180, 180]: the
// words orvane-batch prints after "part found".
std::string PartPoseWords(const PartPose& pose);

// The station's picture as the gauge library reads it, and whether it is
// one it can read (3 or 4 bytes a pixel).
qgImage GaugePicture(const ImageState& image);
bool IsGaugePicture(const ImageState& image);

// A pose's frame applied to a point given in the part's own frame (origin at
// the taught rectangle's centre, axes of the picture when taught), and back.
void PartToPicture(const PartPose& pose, double px, double py, double* x, double* y);
void PictureToPart(const PartPose& pose, double x, double y, double* px, double* py);

} // namespace orvane
