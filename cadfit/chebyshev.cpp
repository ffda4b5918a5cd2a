#include "cadfit/chebyshev.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace orvane::cad {
namespace {

// Primal: minimise t subject to  g_i.x - t <= -d_i  and  -g_i.x - t <= d_i.
// Its dual has four equality rows (sum of s_j g_j y_j = 0, sum of y_j = 1)
// over the 2n columns y >= 0: a tableau of 4 rows, solved with artificial
// columns for a start (phase 1) and then the dual objective (phase 2).
constexpr int kRows = 4;
constexpr double kEps = 1e-12;
constexpr size_t kMaxPivots = 20000;

struct Tableau {
  size_t cols = 0;                 // 2n columns, then 4 artificial ones
  std::vector<double> a;           // kRows x (cols + 1), the last column the right side
  std::vector<double> cost;        // reduced costs (cols + 1), last: minus the objective
  std::array<size_t, kRows> basis{};
  double& At(int r, size_t c) { return a[static_cast<size_t>(r) * (cols + 1) + c]; }
};

void Pivot(Tableau& T, int row, size_t col) {
  const double p = T.At(row, col);
  for (size_t c = 0; c <= T.cols; ++c) T.At(row, c) /= p;
  for (int r = 0; r < kRows; ++r) {
    const double f = T.At(r, col);
    if (r == row || f == 0) continue;
    for (size_t c = 0; c <= T.cols; ++c) T.At(r, c) -= f * T.At(row, c);
  }
  const double f = T.cost[col];
  for (size_t c = 0; c <= T.cols; ++c) T.cost[c] -= f * T.At(row, c);
  T.basis[static_cast<size_t>(row)] = col;
}

// Minimises the cost row over the columns below `usable`: false when the
// pivots run out (or the problem is unbounded, which these rows exclude).
bool Simplex(Tableau& T, size_t usable) {
  for (size_t pivots = 0; pivots < kMaxPivots; ++pivots) {
    size_t col = usable;
    double best = -1e-10;
    for (size_t c = 0; c < usable; ++c) {
      if (T.cost[c] < best) best = T.cost[c], col = c;
    }
    if (col == usable) return true;
    int row = -1;
    double ratio = 0;
    for (int r = 0; r < kRows; ++r) {
      const double v = T.At(r, col);
      if (v <= kEps) continue;
      const double q = T.At(r, T.cols) / v;
      if (row < 0 || q < ratio) row = r, ratio = q;
    }
    if (row < 0) return false;
    Pivot(T, row, col);
  }
  return false;
}

// Solves the 4 x 4 system m z = b by elimination with partial pivoting.
bool Solve4(std::array<std::array<double, 5>, kRows> m, std::array<double, kRows>* z) {
  for (int k = 0; k < kRows; ++k) {
    int p = k;
    for (int r = k + 1; r < kRows; ++r) {
      if (std::fabs(m[r][k]) > std::fabs(m[p][k])) p = r;
    }
    if (std::fabs(m[p][k]) < kEps) return false;
    std::swap(m[p], m[k]);
    for (int r = k + 1; r < kRows; ++r) {
      const double f = m[r][k] / m[k][k];
      for (int c = k; c < 5; ++c) m[r][c] -= f * m[k][c];
    }
  }
  for (int k = kRows - 1; k >= 0; --k) {
    double s = m[k][4];
    for (int c = k + 1; c < kRows; ++c) s -= m[k][c] * (*z)[c];
    (*z)[k] = s / m[k][k];
  }
  return true;
}

}  // namespace

bool ChebyshevStep(const std::vector<std::array<double, 3>>& g, const std::vector<double>& d,
                   std::array<double, 3>* x, double* t) {
  const size_t n = d.size();
  Tableau T;
  T.cols = 2 * n + kRows;
  T.a.assign(kRows * (T.cols + 1), 0.0);
  for (size_t j = 0; j < 2 * n; ++j) {
    const double s = j < n ? 1.0 : -1.0;
    for (int r = 0; r < 3; ++r) T.At(r, j) = s * g[j % n][static_cast<size_t>(r)];
    T.At(3, j) = 1.0;
  }
  T.At(3, T.cols) = 1.0;
  // Phase 1: the artificial columns as the start; their sum minimised.
  T.cost.assign(T.cols + 1, 0.0);
  for (int r = 0; r < kRows; ++r) {
    T.At(r, 2 * n + static_cast<size_t>(r)) = 1.0;
    T.basis[static_cast<size_t>(r)] = 2 * n + static_cast<size_t>(r);
    for (size_t c = 0; c <= T.cols; ++c) {
      if (c < 2 * n || c == T.cols) T.cost[c] -= T.At(r, c);
    }
  }
  if (!Simplex(T, 2 * n) || -T.cost[T.cols] > 1e-9) return false;
  // An artificial column still in (at zero) is traded for any real one its
  // row holds; none: the rows leave x free.
  for (int r = 0; r < kRows; ++r) {
    if (T.basis[static_cast<size_t>(r)] < 2 * n) continue;
    size_t col = 0;
    while (col < 2 * n && std::fabs(T.At(r, col)) < 1e-9) ++col;
    if (col == 2 * n) return false;
    Pivot(T, r, col);
  }
  // Phase 2: maximise sum of s_j d_j y_j, that is minimise its negative.
  std::fill(T.cost.begin(), T.cost.end(), 0.0);
  for (size_t j = 0; j < 2 * n; ++j) T.cost[j] = -(j < n ? 1.0 : -1.0) * d[j % n];
  for (int r = 0; r < kRows; ++r) {
    const size_t b = T.basis[static_cast<size_t>(r)];
    const double f = T.cost[b];
    for (size_t c = 0; c <= T.cols; ++c) T.cost[c] -= f * T.At(r, c);
  }
  if (!Simplex(T, 2 * n)) return false;
  // The primal's constraints of the basic columns hold with equality:
  // s (g.x + d) = t for each.
  std::array<std::array<double, 5>, kRows> m{};
  for (int r = 0; r < kRows; ++r) {
    const size_t j = T.basis[static_cast<size_t>(r)];
    const double s = j < n ? 1.0 : -1.0;
    for (int k = 0; k < 3; ++k) m[r][k] = s * g[j % n][static_cast<size_t>(k)];
    m[r][3] = -1.0;
    m[r][4] = -s * d[j % n];
  }
  std::array<double, kRows> z{};
  if (!Solve4(m, &z)) return false;
  *x = {z[0], z[1], z[2]};
  *t = z[3];
  return std::isfinite(z[0]) && std::isfinite(z[1]) && std::isfinite(z[2]) && std::isfinite(z[3]);
}

}  // namespace orvane::cad
