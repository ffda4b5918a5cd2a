// Running a piece of a test in a process of its own: as a user that is not
// root (permissions do not hold for root), or under a time limit, so that a
// call that hangs fails the test instead of stopping the run.
#pragma once

#include <functional>
#include <optional>

namespace orvane::testing {

// Runs `body` as a user that is not root: in this process when it already
// is one, else in a child that has become "nobody". The result is body's
// value, or nothing when there is no such user to become.
std::optional<int> AsNonRoot(const std::function<int()>& body);

// Switches this process to "nobody"; false when there is no such user or
// the switch fails. Only for a child process.
bool BecomeNobody();

// Runs `body` in a child process and gives its exit status; kTimedOut (the
// child killed) when it has not ended within `seconds`, kCrashed when it
// ended by a signal.
inline constexpr int kTimedOut = -1;
inline constexpr int kCrashed = -2;
int InChild(const std::function<int()>& body, double seconds);

} // namespace orvane::testing
