// orvane-inspect: a program of the working folder run over pictures, with
// the folder's calibration, on as many threads as asked; CSV out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::batch {

// Exit statuses.
inline constexpr int kInspectPassed = 0; // every part found and passed
inline constexpr int kInspectFailed = 1; // a part failed or was not found
inline constexpr int kInspectError = 2;  // a picture or the program could not be read, or bad usage

// The most threads --jobs takes.
inline constexpr uint32_t kMaxInspectJobs = 64;

struct InspectOptions {
  std::filesystem::path folder = ".";
  std::string program;               // its name in the folder (NAME or NAME.OIP)
  std::vector<std::string> pictures; // BMP or JPEG files, as given
  uint32_t jobs = 1;
};

// Runs the program over the pictures: the CSV header and one record a
// picture and dimension (a picture whose part is not found, or that cannot
// be read, has one record saying so) on `out`, in the pictures' order; why a
// picture or the program could not be read on `errors`. Returns one of the
// exit statuses.
int RunInspect(const InspectOptions& options, std::ostream& out, std::ostream& errors);

} // namespace orvane::batch
