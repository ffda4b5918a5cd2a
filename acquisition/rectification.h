// Rectification at acquisition: when a grid calibration made for this camera
// and picture size is on, every camera picture is rectified before it enters
// the frame and before the live area paints it. The calibration lives in its
// own file in the working folder; without that file nothing here changes a
// byte of what the camera delivers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/video/video.h"
#include "rectify/grid_calibration.h"
#include "rectify/rectification_file.h"
#include "rectify/remap.h"

namespace orvane {

class Station;

// The remap tables as the window's thread changes them and a capture thread
// reads them (the live area's pictures are rectified there): a change
// replaces them whole, so a remap in progress keeps the tables it started
// with.
class SharedRemapTables {
 public:
  SharedRemapTables() = default;
  SharedRemapTables(SharedRemapTables&& other) noexcept : tables_(other.Get()) {}
  SharedRemapTables& operator=(SharedRemapTables&& other) noexcept {
    Set(other.Get());
    return *this;
  }
  SharedRemapTables& operator=(rectify::RemapTables&& tables) {
    Set(tables.empty() ? nullptr : std::make_shared<const rectify::RemapTables>(std::move(tables)));
    return *this;
  }
  // New tables for the model; false, and none, when the model is unusable.
  bool Build(const rectify::LensModel& model) {
    rectify::RemapTables tables;
    const bool built = tables.Build(model);
    *this = std::move(tables);
    return built;
  }
  bool empty() const { return Get() == nullptr; }
  uint32_t width() const {
    const auto t = Get();
    return t ? t->width() : 0;
  }
  uint32_t height() const {
    const auto t = Get();
    return t ? t->height() : 0;
  }
  void Apply(const uint8_t* source, uint8_t* dest) const {
    if (const auto t = Get()) t->Apply(source, dest);
  }
  // The tables in force now (null: none), kept alive while held.
  std::shared_ptr<const rectify::RemapTables> Get() const {
    std::lock_guard lock(mutex_);
    return tables_;
  }

 private:
  void Set(std::shared_ptr<const rectify::RemapTables> tables) {
    std::lock_guard lock(mutex_);
    tables_ = std::move(tables);
  }
  mutable std::mutex mutex_;
  std::shared_ptr<const rectify::RemapTables> tables_; // never empty tables: null instead
};

// What the camera keeps of rectification while it is open.
struct RectificationState {
  std::optional<rectify::RectificationRecord> record; // the file's, when it is for this camera
  SharedRemapTables tables;                             // built while rectification applies
  std::string note;                                     // for the image status line
  std::vector<uint8_t> scratch;                         // one picture, reused
  std::vector<uint8_t> scratch2;
  bool active() const { return !tables.empty(); }
};

// The rectification file is read and written as the other station files are:
// only a regular file (or a link to one) is read, never waited on; a save
// replaces it whole (a temporary file beside it, flushed, renamed over it)
// and leaves a file it may not write, or a node that is no file, as it was.
// The error says why: the system's reason, or the file's damage.
rectify::FileState LoadRectificationFile(const std::filesystem::path& path, rectify::RectificationRecord* record,
                                         std::string* error);
bool SaveRectificationFile(const std::filesystem::path& path, const rectify::RectificationRecord& record,
                           std::string* error);

// Reads the rectification file for the camera just opened (its name and the
// size it delivers) and prepares the tables when the file is for this camera
// and on. Any other file leaves rectification off with a note saying why.
void LoadRectification(Station& station);

// Rectify a snapshot bitmap (40-byte header, 32-bit pixels, rows bottom-up)
// or a live picture in place, when rectification applies to its size.
void RectifySnapshot(Station& station, std::vector<uint8_t>& snapshot);
void RectifyPicture(Station& station, video::Picture& picture);
// The rectified picture into `dest`, sized to the picture's bytes, the
// picture itself unchanged; false, leaving dest alone, when rectification
// does not apply to its size.
bool RectifyPictureInto(Station& station, const video::Picture& picture, std::vector<uint8_t>* dest);

// What the image status line adds: nothing without a rectification file.
std::string RectificationNote(const Station& station);

// The running camera's newest picture as it delivers it, unrectified; false
// without a camera or a picture.
bool RawCameraPicture(Station& station, video::Picture* out);

inline constexpr const char* kGridNotFound = "The grid was not found in the picture.";

// The camera's newest picture, unrectified, at the size the camera was
// opened at; the text says why there is none.
std::optional<std::string> GrabGridPicture(Station& station, video::Picture* picture);

// Finds the grid on the camera's newest picture and adds the points as one
// view (and the picture to `picture` when given). The text says what went
// wrong, or nothing on success.
std::optional<std::string> GrabGridView(Station& station, const rectify::GridSpec& spec,
                                        std::vector<std::vector<rectify::Point2>>* views,
                                        video::Picture* picture = nullptr);

// Saves the fit as the rectification for the open camera and turns it on.
// The text says what went wrong, or nothing on success.
std::optional<std::string> AcceptGridCalibration(Station& station, const rectify::GridSpec& spec,
                                                 const rectify::GridFit& fit);

// Turns rectification on or off for the open camera and remembers it in the
// file; the text says why it could not, or nothing on success.
std::optional<std::string> SetRectification(Station& station, bool on);

// "RMS 0.031 px, held out 0.035 px, largest 0.092 px, 102 + 33 points, 1 view":
// the fitted and held-out points' RMS reprojection errors and the largest
// error of any point.
std::string FiguresText(const rectify::GridFigures& figures);

// Several lines: the state, the camera and size, the grid, the figures and
// the lens model; or "Rectification: none" without a calibration.
std::string DescribeRectification(const Station& station);

} // namespace orvane
