// The simulated GigE Vision camera as a fixture: a process of its own on
// 127.0.0.1, started and waited for until it answers, killed like a camera
// whose power is cut, and always ended with the fixture, even when the test
// fails.
#pragma once

#include <sys/types.h>

#include <string>

namespace orvane::testing {

class GvSimulator {
 public:
  explicit GvSimulator(std::string serial) : serial_(std::move(serial)) {}
  ~GvSimulator() { Kill(); }
  GvSimulator(const GvSimulator&) = delete;
  GvSimulator& operator=(const GvSimulator&) = delete;

  // Starts the process and waits at most 10 s for it to say it answers.
  bool Start();
  // SIGKILL, as a pulled cable or cut power: no goodbye to the station.
  void Kill();
  bool running() const { return pid_ > 0; }
  // The name the camera is listed by.
  std::string name() const { return "Aravis-Fake-" + serial_; }

 private:
  std::string serial_;
  pid_t pid_ = -1;
};

} // namespace orvane::testing
