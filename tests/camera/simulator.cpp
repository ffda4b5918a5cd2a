#include "simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace orvane::testing {

bool GvSimulator::Start() {
  Kill();
  int out[2];
  if (pipe(out) != 0) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    // The simulator ends with the test process, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(ORVANE_GV_SIMULATOR, ORVANE_GV_SIMULATOR, "127.0.0.1", serial_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string said;
  pollfd p{out[0], POLLIN, 0};
  while (said.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
    char buffer[64];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    said.append(buffer, size_t(n));
  }
  close(out[0]);
  if (said.rfind("ready", 0) != 0) {
    Kill();
    return false;
  }
  return true;
}

void GvSimulator::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

} // namespace orvane::testing
