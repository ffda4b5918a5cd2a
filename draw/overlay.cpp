#include "draw/overlay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "draw/font.h"

namespace orvane {
namespace {

// Positions are carried as 64-bit values so that offsets added to an int32
// coordinate (text cells, dot squares, line steps) can never overflow; a
// negative position is simply out of range.
bool InBand(const OverlayCanvas& canvas, int64_t y) {
  return y >= int64_t{canvas.band_top} && y < int64_t{canvas.band_bottom};
}

void PutPixel(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (!InBand(canvas, y)) return;
  uint8_t* p = canvas.pixels + static_cast<size_t>(y) * canvas.stride + static_cast<size_t>(x) * 3;
  p[0] = colour.b;
  p[1] = colour.g;
  p[2] = colour.r;
}

void Pixel(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (canvas.pixels == nullptr) return;
  if (x <= 0 || x >= int64_t{canvas.width} - 1) return;
  if (y <= 0 || y >= int64_t{canvas.height} - 1) return;
  PutPixel(canvas, x, y, colour);
}

// Half the side of the dot square on this canvas (see Dot).
int64_t DotHalf(const OverlayCanvas& canvas) {
  return canvas.width > 1280 ? 2 : canvas.width > 320 ? 1 : 0;
}

void Dot(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (canvas.pixels == nullptr) return;
  if (x <= 1 || x >= int64_t{canvas.width} - 2) return;
  if (y <= 1 || y >= int64_t{canvas.height} - 2) return;
  const int64_t half = DotHalf(canvas);
  // The bounds above keep the whole square inside the image: x - half >= 0
  // and x + half <= W - 1 for half <= 2, and likewise for y.
  for (int64_t dy = -half; dy <= half; ++dy) {
    for (int64_t dx = -half; dx <= half; ++dx) PutPixel(canvas, x + dx, y + dy, colour);
  }
}

// A colour ready for filling the squares of many dots at once: 16 pixels of it
// as bytes, so that a long row is copied in blocks instead of pixel by pixel.
struct Pen {
  int64_t half;  // of the dot square, as in Dot
  uint8_t block[48];
};

Pen MakePen(const OverlayCanvas& canvas, Rgb colour) {
  Pen pen{DotHalf(canvas), {}};
  for (size_t i = 0; i < sizeof pen.block; i += 3) {
    pen.block[i] = colour.b;
    pen.block[i + 1] = colour.g;
    pen.block[i + 2] = colour.r;
  }
  return pen;
}

// Pixels x0 .. x1 of row y, all inside the image, in the pen's colour.
// Inlined: a line calls it once for each of its pixel rows.
[[gnu::always_inline]] inline void FillRow(const OverlayCanvas& canvas, const Pen& pen, int64_t y, int64_t x0, int64_t x1) {
  if (!InBand(canvas, y)) return;
  uint8_t* p = canvas.pixels + static_cast<size_t>(y) * canvas.stride + static_cast<size_t>(x0) * 3;
  size_t bytes = static_cast<size_t>(x1 - x0 + 1) * 3;
  // A short span (most of a line's dot squares) as two or three fixed-size
  // copies that may overlap: byte i of the block is byte i of the span's
  // colour pattern, so an overlap writes the same bytes twice.
  auto copy = [&](size_t at, size_t n) { std::memcpy(p + at, pen.block + at, n); };
  if (bytes <= 48) {
    if (bytes >= 16) {
      copy(0, 16);
      if (bytes > 32) copy(16, 16);
      copy(bytes - 16, 16);
    } else if (bytes >= 8) {
      copy(0, 8);
      copy(bytes - 8, 8);
    } else {  // 3 or 6 bytes
      copy(0, 3);
      copy(bytes - 3, 3);
    }
    return;
  }
  for (; bytes >= sizeof pen.block; bytes -= sizeof pen.block, p += sizeof pen.block) {
    std::memcpy(p, pen.block, sizeof pen.block);
  }
  std::memcpy(p, pen.block, bytes);
}

// The dots of one colour centred at rows r0 .. r1 of column c, drawn as Dot
// draws each: a centre outside columns and rows 2 .. W - 3 and 2 .. H - 3
// draws nothing, and every other dot's square lies inside the image. Painting
// is a plain store, so the union of the squares, row by row, leaves the same
// bytes as the dots one by one.
void DotsInColumn(const OverlayCanvas& canvas, const Pen& pen, int64_t c, int64_t r0, int64_t r1) {
  if (c <= 1 || c >= int64_t{canvas.width} - 2) return;
  r0 = std::max<int64_t>(r0, 2);
  r1 = std::min<int64_t>(r1, int64_t{canvas.height} - 3);
  if (r0 > r1) return;
  for (int64_t y = r0 - pen.half; y <= r1 + pen.half; ++y) FillRow(canvas, pen, y, c - pen.half, c + pen.half);
}

// Truncates a real coordinate toward zero; false when it lies far outside any
// image (or is NaN), so that the dot is skipped instead of converted.
bool TruncatedCoordinate(double value, int64_t* out) {
  if (!(value > -2147483648.0 && value < 4294967296.0)) return false;
  *out = static_cast<int64_t>(value);
  return true;
}

constexpr double kLineStep = 0.02;

// The spacing u of the doubles with |x| in [2^(e-1), 2^e), and what one
// addition of the line step adds there in units of u, for the exponents a
// walk takes in jumps (|x| from 1/16 to beyond any image), worked out once
// with the same arithmetic as ever.
struct Spacing {
  double unit, inverse_unit;
  int64_t step;
  double inverse_step;
};

constexpr int kLowestJumpExponent = -3;
constexpr int kHighestJumpExponent = 64;

// Powers of two and the scaling by them are exact, and 0.02 / u is never a
// tie here, so adding a half and truncating rounds it as llround does.
constexpr double PowerOfTwo(int n) {
  double v = 1.0;
  for (; n > 0; --n) v *= 2.0;
  for (; n < 0; ++n) v *= 0.5;
  return v;
}

constexpr std::array<Spacing, kHighestJumpExponent - kLowestJumpExponent + 1> kSpacings = [] {
  std::array<Spacing, kHighestJumpExponent - kLowestJumpExponent + 1> t{};
  for (int e = kLowestJumpExponent; e <= kHighestJumpExponent; ++e) {
    Spacing& s = t[static_cast<size_t>(e - kLowestJumpExponent)];
    s.unit = PowerOfTwo(e - 53);
    s.inverse_unit = PowerOfTwo(53 - e);
    s.step = static_cast<int64_t>(kLineStep * s.inverse_unit + 0.5);
    s.inverse_step = s.step > 0 ? 1.0 / static_cast<double>(s.step) : 0.0;
  }
  return t;
}();

const Spacing& SpacingOf(int exponent) { return kSpacings[static_cast<size_t>(exponent - kLowestJumpExponent)]; }

// The exponent e of |x| in [2^(e-1), 2^e), as frexp gives it, for a finite x
// with |x| from 1/16 to below 2^64 (read from the bits: no library call).
int JumpExponentOf(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return static_cast<int>((bits >> 52) & 0x7ff) - 1022;
}

// The sum x += kLineStep, repeated from x as doubles add, up to its first
// value that is not below `limit`. Whole runs of additions are taken at once,
// with the same result: while x and x + step stay within one binary exponent,
// every addition rounds to the same multiple of the spacing u of the doubles
// there, so k additions add exactly k times that multiple. That multiple is
// 0.02 / u rounded, and it is never a tie from |x| = 1/16 on: 0.02 is an odd
// multiple of 2^-58 and u = 2^(e-53) for |x| in [2^(e-1), 2^e), so 0.02 / u
// is an odd multiple of 2^(-5-e), a half only for e = -4. Near the end of an
// exponent's range, and for |x| below 1/16, the additions are made one by
// one. The limit is at least 2 (the walk's first column): below 0, whole
// exponents are taken without looking at it.
double AdvanceLineWalk(double x, double limit) {
  constexpr int64_t kLowestUnits = int64_t{1} << 52;
  constexpr int64_t kTopUnits = int64_t{1} << 53;
  while (x < limit) {
    if ((x <= -0.0625 || x >= 0.0625) && x > -0x1p63 && x < 0x1p63) {
      const Spacing& spacing = SpacingOf(JumpExponentOf(x));
      const double u = spacing.unit;
      const int64_t d = spacing.step;
      if (x < 0.0) {
        const int64_t units = static_cast<int64_t>(-x * spacing.inverse_unit);  // exact, in [2^52, 2^53)
        // Each addition must leave at least 2^52 units (the same exponent)
        // even before rounding, when x + step lies up to d + 1 units higher.
        const int64_t room = units - kLowestUnits - d - 1;
        if (room >= 0) {
          x = -static_cast<double>(units - (room / d + 1) * d) * u;
          continue;
        }
      } else if (d > 0) {
        const int64_t units = static_cast<int64_t>(x * spacing.inverse_unit);  // exact, in [2^52, 2^53)
        // Additions that stay below 2^53 units even before rounding, and that
        // end below the limit (one short, for the rounding of this bound).
        const int64_t room = (kTopUnits - 2 - units) / d;
        const double short_of_limit =
            std::floor((limit * spacing.inverse_unit - static_cast<double>(units)) / d) - 1.0;
        const int64_t k = std::min<double>(static_cast<double>(room), short_of_limit) > 0.0
                              ? static_cast<int64_t>(std::min<double>(static_cast<double>(room),
                                                                      short_of_limit))
                              : 0;
        if (k > 0) {
          x = static_cast<double>(units + k * d) * u;
          continue;
        }
      }
    }
    x += kLineStep;
  }
  return x;
}

// The dots of a line walk (see DrawLine) without taking its sums one by one.
// Within one binary exponent the sums are x_k = (units + k step) unit exactly
// (see AdvanceLineWalk), so any of them is had at once. The column of a sum
// grows by at most one from a sum to the next, and its row moves one way only
// (y1 + (x - x1) m and its truncation are monotone in x, rounding and all), so
// the walk is a series of runs on one row over consecutive columns. The end
// of a run is guessed from the line's equation and then settled on the rows
// of the sums themselves, so that every dot is the walk's own.
class LineWalk {
 public:
  LineWalk(const OverlayCanvas& canvas, const Pen& pen, int32_t x1, int32_t y1, double m)
      : canvas_(canvas), pen_(pen), x1_(x1), y1_(y1), m_(m), inverse_m_(1.0 / m), dir_(m < 0.0 ? -1 : 1) {}

  // Draws the dots of the sums from x (at least 2) while x <= last and
  // x < x_end (below 2^32).
  void Draw(double x, double last, double x_end) {
    constexpr int64_t kTopUnits = int64_t{1} << 53;
    const double rows_margin = RowsMargin(x_end);
    while (x <= last && x < x_end) {
      const Spacing& spacing = SpacingOf(JumpExponentOf(x));  // x from 2 to below 2^32
      Binade b;
      b.unit = spacing.unit;
      b.step = spacing.step;
      b.units = static_cast<int64_t>(x * spacing.inverse_unit);
      b.inverse_unit = spacing.inverse_unit;
      b.inverse_step = spacing.inverse_step;
      // The sums up to `room` stay in this exponent (the bound of AdvanceLineWalk);
      // of those, the walk takes the ones up to its limits.
      const int64_t room = std::max<int64_t>(0, (kTopUnits - 2 - b.units) / b.step);
      auto walked = [&](int64_t k) {
        const double sum = Sum(b, k);
        return sum <= last && sum < x_end;
      };
      const double guess =
          std::floor((std::min(last, x_end) / b.unit - static_cast<double>(b.units)) / b.step);
      int64_t end =
          guess > 0.0 ? (guess < static_cast<double>(room) ? static_cast<int64_t>(guess) : room) : 0;
      while (end > 0 && !walked(end)) --end;
      while (end < room && walked(end + 1)) ++end;
      // The end of row r from 1 on, in sums: t = first_t + r t_per_row, the
      // guess of NextRowAsGuessed taken apart so that a row costs one product.
      const int64_t dir = dir_;
      RowGuess guess_of_rows;
      guess_of_rows.first_t = ((x1_ + ((m_ > 0.0 ? 1.0 : 0.0) - y1_) * inverse_m_) * b.inverse_unit -
                               static_cast<double>(b.units)) * b.inverse_step;
      guess_of_rows.t_per_row = inverse_m_ * b.inverse_unit * b.inverse_step;
      guess_of_rows.margin =
          rows_margin + (static_cast<double>(end) + std::abs(guess_of_rows.first_t)) * 0x1p-48;
      guess_of_rows.last_t = static_cast<double>(end);
      int64_t row = Row(Sum(b, 0));
      for (int64_t k = 0; k <= end;) {
        int64_t next_row = row + dir;
        int64_t next = row >= 1 && row != kAbove ? ClearRowEnd(row, k, guess_of_rows) : k;
        if (next == k) next = NextRowAsGuessed(b, k, end, row);
        if (next == k) {
          next_row = row;
          next = RowEnd(b, k, end + 1, row, &next_row);
        }
        AddRun(row, static_cast<int64_t>(Sum(b, k)), static_cast<int64_t>(Sum(b, next - 1)));
        k = next;
        row = next_row;
        if (next_row == row_ + dir && k <= end) {
          k = SteadyRows(b, k, &row, guess_of_rows);
        }
      }
      x = Sum(b, end) + kLineStep;  // the next sum, as the walk adds it
    }
    Flush();
    FillHeldRows();
  }

 private:
  struct Binade {
    double unit;    // the spacing of the doubles in this exponent
    int64_t units;  // the first sum in units
    int64_t step;   // what each addition adds, in units
    double inverse_unit, inverse_step;  // for guesses only
  };
  // Rows of a y too far out to be converted: no dot, and below or above all others.
  static constexpr int64_t kBelow = INT64_MIN;
  static constexpr int64_t kAbove = INT64_MAX;

  // How near (in sums) the line's equation may put a row's end to a sum
  // before the rows of the sums themselves must settle it: a bound on the
  // rounding of y1 + (x - x1) m in Row, seen along x, and of the guess itself.
  // Infinite when the bound is too loose to help, or when a sum could skip a
  // row (a steep line), which the guess does not foresee.
  double RowsMargin(double x_end) const {
    const double slope = std::abs(m_);
    const double x1 = std::abs(x1_), y1 = std::abs(y1_);
    const double y_error = 0x1p-52 * (2.0 * (x1 + x_end) * slope + y1 + 1.0);
    const double x_error = 0x1p-51 * ((4294967296.0 + y1) / slope + 2.0 * (x1 + x_end) + 1.0);
    const double sum_spacing = 0.0199;  // step times unit, at least, below 2^32
    const double margin = 2.0 * (y_error / (sum_spacing * slope) + x_error / sum_spacing);
    const bool skips = 0.0201 * slope + y_error >= 1.0;
    return margin < 0.05 && !skips ? margin : std::numeric_limits<double>::infinity();
  }

  static double Sum(const Binade& b, int64_t k) {
    return static_cast<double>(b.units + k * b.step) * b.unit;
  }

  int64_t Row(double x) const {
    const double y = y1_ + (x - x1_) * m_;
    if (!(y > -2147483648.0)) return kBelow;
    if (!(y < 4294967296.0)) return kAbove;
    return static_cast<int64_t>(y);
  }

  // The y at which the line leaves `row` as x grows; NaN when it never does.
  double RowEdge(int64_t row) const {
    if (m_ > 0.0) {
      if (row == kAbove) return std::nan("");
      if (row == kBelow) return -2147483648.0;
      return static_cast<double>(row >= 0 ? row + 1 : row);
    }
    if (m_ < 0.0) {
      if (row == kBelow) return std::nan("");
      if (row == kAbove) return 4294967296.0;
      return static_cast<double>(row > 0 ? row : row - 1);
    }
    return std::nan("");  // level: one row throughout
  }

  struct RowGuess {
    double first_t, t_per_row, margin, last_t;  // as in Draw
  };

  // The first sum of the row after `row` (from 1 on; k is its own first sum)
  // when the row's end, t = first_t + row t_per_row sums, lies within the
  // exponent and farther than the margin from every sum, so that no rounding
  // can move it (see RowsMargin): the sum after t. Otherwise k, and the rows
  // of the sums themselves must settle it.
  static int64_t ClearRowEnd(int64_t row, int64_t k, const RowGuess& guess) {
    const double t = guess.first_t + static_cast<double>(row) * guess.t_per_row;
    if (!(t >= static_cast<double>(k) && t < guess.last_t)) return k;
    const int64_t whole = static_cast<int64_t>(t);
    const double part = t - static_cast<double>(whole);
    return part > guess.margin && 1.0 - part > guess.margin ? whole + 1 : k;
  }

  // The rows from `row` on (its first sum k) while each ends where the
  // line's equation puts it, within this exponent, and every row before
  // holds a run on the drawn rows: then each new run completes exactly one
  // pixel row, 2 * half + 1 rows behind it, whose span runs from the run
  // that many rows back to the one before this. The same runs and pixel rows
  // as DotsInRow, with the state kept in registers. Returns the first sum of
  // the row it stopped at (`row` is set to it), with that row not yet drawn.
  int64_t SteadyRows(const Binade& b, int64_t k, int64_t* row_at, const RowGuess& guess) {
    const int64_t half = pen_.half, reach = 2 * half + 1, dir = dir_;
    int64_t row = *row_at;
    // The open run (the row before) is complete; the rows before it must be
    // the consecutive runs the span of a pixel row is taken from.
    Flush();
    if (pushed_ < reach || next_y_ != row - dir * (half + 1)) return k;
    for (int64_t i = 1; i <= reach; ++i) {
      if (runs_[static_cast<size_t>(pushed_ - i) & (runs_.size() - 1)].row != row - dir * i) return k;
    }
    const int64_t top = 2, bottom = int64_t{canvas_.height} - 3;
    const int64_t left = 2, right = int64_t{canvas_.width} - 3;
    const size_t mask = runs_.size() - 1;
    int64_t pushed = pushed_;
    // Consecutive sums of one exponent differ by exactly step * unit.
    const double spacing = static_cast<double>(b.step) * b.unit;
    double first = Sum(b, k);
    while (row >= top && row <= bottom) {
      const int64_t next = ClearRowEnd(row, k, guess);
      if (next == k) break;
      const int64_t whole = next - 1;
      const double last = Sum(b, whole);  // the row's last sum
      const int64_t a = static_cast<int64_t>(first);
      const int64_t z = static_cast<int64_t>(last);
      if (a < left || z > right) break;
      first = last + spacing;
      FillRow(canvas_, pen_, row - dir * (half + 1), runs_[static_cast<size_t>(pushed - reach) & mask].a - half,
              runs_[static_cast<size_t>(pushed - 1) & mask].b + half);
      runs_[static_cast<size_t>(pushed) & mask] = Run{row, a, z};
      ++pushed;
      k = whole + 1;
      row += dir;
    }
    pushed_ = pushed;
    next_y_ = row - dir * (half + 1);
    first_run_ = last_run_ = pushed - reach;
    *row_at = row;
    return k;
  }

  // The first sum after sum k (whose row is `row`) when it lies where the
  // line's equation puts it, up to `end`, and on the next row: checked on the
  // rows of that sum and the one before, so it is the walk's own. Returns k
  // when it is not (the run goes on to the end of the exponent, the next row
  // is skipped, or the guess is off by the rounding of y); RowEnd then searches.
  // Each row's guess depends on the row alone, not on the sums before, so the
  // rows of a long line are settled one after another without waiting.
  int64_t NextRowAsGuessed(const Binade& b, int64_t k, int64_t end, int64_t row) const {
    if (row == kBelow || row == kAbove) return k;
    const double edge = RowEdge(row);  // NaN on a level line: no guess
    const double t =
        ((x1_ + (edge - y1_) * inverse_m_) * b.inverse_unit - static_cast<double>(b.units)) * b.inverse_step;
    const double guess = std::ceil(t);
    if (!(guess > static_cast<double>(k) && guess <= static_cast<double>(end))) return k;
    const int64_t g = static_cast<int64_t>(guess);
    const int64_t after = row + (m_ > 0.0 ? 1 : -1);
    if (Row(Sum(b, g)) != after) return k;
    if (g - 1 > k && Row(Sum(b, g - 1)) != row) return k;
    return g;
  }

  // The first sum after sum k (whose row is `row`) on another row, and that
  // sum's row in *next_row; `end` when all up to end - 1 are on it.
  int64_t RowEnd(const Binade& b, int64_t k, int64_t end, int64_t row, int64_t* next_row) const {
    auto left = [&](int64_t j) {
      if (j >= end) return true;
      const int64_t r = Row(Sum(b, j));
      if (r == row) return false;
      *next_row = r;  // the last sum found off the row is the first such
      return true;
    };
    const double edge = RowEdge(row);
    if (std::isnan(edge)) return end;
    const double guess = std::ceil(((x1_ + (edge - y1_) * inverse_m_) * b.inverse_unit -
                                    static_cast<double>(b.units)) * b.inverse_step);
    const int64_t j = guess > static_cast<double>(k + 1)
                          ? (guess < static_cast<double>(end) ? static_cast<int64_t>(guess) : end)
                          : k + 1;
    // `stay` is on the row, `leave` is past it; widen, then halve the gap.
    int64_t stay, leave;
    if (left(j)) {
      leave = j;
      stay = j - 1;
      for (int64_t gap = 2; left(stay); gap *= 2) {
        leave = stay;
        stay = std::max(k, leave - gap);
      }
    } else {
      stay = j;
      leave = j + 1;
      for (int64_t gap = 2; !left(leave); gap *= 2) {
        stay = leave;
        leave = std::min(end, stay + gap);
      }
    }
    while (leave - stay > 1) {
      const int64_t mid = stay + (leave - stay) / 2;
      (left(mid) ? leave : stay) = mid;
    }
    return leave;
  }

  // Runs on one row continue across exponents; each is drawn once it ends.
  void AddRun(int64_t row, int64_t first, int64_t last) {
    if (open_ && row == row_) {
      last_ = last;
      return;
    }
    Flush();
    open_ = true;
    row_ = row;
    first_ = first;
    last_ = last;
  }

  void Flush() {
    if (open_) DotsInRow(row_, first_, last_);
    open_ = false;
  }

  // The dots centred at columns a .. b of row r, drawn as Dot draws each: a
  // centre outside columns and rows 2 .. W - 3 and 2 .. H - 3 draws nothing,
  // and every other dot's square lies inside the image. Painting is a plain
  // store, so the union of the squares leaves the same bytes as the dots one
  // by one. The union is filled a pixel row at a time, once no later run can
  // reach the row: the runs that reach a pixel row are consecutive (their
  // rows move one way) and their columns join up and grow, so the row is one
  // span, from the first such run's first square to the last one's last.
  void DotsInRow(int64_t r, int64_t a, int64_t b) {
    if (r <= 1 || r >= int64_t{canvas_.height} - 2) return;
    a = std::max<int64_t>(a, 2);
    b = std::min<int64_t>(b, int64_t{canvas_.width} - 3);
    if (a > b) return;
    if (pushed_ == 0) next_y_ = r - dir_ * pen_.half;
    FillPixelRowsBefore(r);
    runs_[static_cast<size_t>(pushed_) & (runs_.size() - 1)] = Run{r, a, b};
    ++pushed_;
  }

  // Fills the pixel rows, from the next one on, that a run on row r and the
  // runs after it no longer reach.
  void FillPixelRowsBefore(int64_t r) {
    for (; dir_ * (r - next_y_) > pen_.half; next_y_ += dir_) FillPixelRow(next_y_);
  }

  void FillHeldRows() {
    if (pushed_ == 0) return;
    // All that the last run reaches: the rows before a run 2 * half + 1 rows on.
    FillPixelRowsBefore(runs_[static_cast<size_t>(pushed_ - 1) & (runs_.size() - 1)].row +
                        dir_ * (2 * pen_.half + 1));
  }

  // Pixel row y from the first run that reaches it to the last. The runs
  // kept are those of the rows from y - half on (in the walk's direction), at
  // most 2 * half + 1 of them, which the ring holds.
  void FillPixelRow(int64_t y) {
    auto at = [&](int64_t i) -> const Run& { return runs_[static_cast<size_t>(i) & (runs_.size() - 1)]; };
    const int64_t half = pen_.half;
    while (first_run_ < pushed_ && dir_ * (at(first_run_).row - y) < -half) ++first_run_;
    if (first_run_ == pushed_ || dir_ * (at(first_run_).row - y) > half) return;  // none reaches y
    int64_t last = std::max(last_run_, first_run_);
    while (last + 1 < pushed_ && dir_ * (at(last + 1).row - y) <= half) ++last;
    last_run_ = last;
    FillRow(canvas_, pen_, y, at(first_run_).a - half, at(last).b + half);
  }

  struct Run {
    int64_t row, a, b;
  };

  const OverlayCanvas& canvas_;
  const Pen& pen_;
  const double x1_, y1_, m_;
  const double inverse_m_;  // for guesses only
  bool open_ = false;
  int64_t row_ = 0, first_ = 0, last_ = 0;
  const int64_t dir_;  // the way the rows go as x grows
  std::array<Run, 8> runs_{};  // the last runs drawn, by their count; a power of two
  int64_t pushed_ = 0, first_run_ = 0, last_run_ = 0, next_y_ = 0;
};

uint32_t ClampedClass(uint32_t mark_size_class) { return std::min<uint32_t>(mark_size_class, 3); }

// Single-precision 6.28 and 0.01 widened to double: one full turn of the marks.
constexpr double kMarkArcEnd = 6.28000020980835;
constexpr double kMarkArcStep = 0.009999999776482582;

// A mark's dots as offsets from its centre, with the union of their squares
// for each dot size as spans of one row, so that a mark inside the image is
// filled row by row instead of walked around its arcs and stamped dot by dot.
// An arc's dot lies at cx + r cos a, truncated, for an integer centre cx: that
// is cx + floor(r cos a) wherever the dot is drawn (at column 2 or more, so
// truncation is flooring) as long as r cos a is a whole number or lies more
// than 1e-6 from one, which adding a centre below 2^24 cannot round across.
// This is checked for every offset when the shape is built; a shape that
// fails it (or any mark near a border) is drawn dot by dot.
class MarkShape {
 public:
  MarkShape(std::initializer_list<double> radii, bool cross) {
    bool centre[kSide][kSide] = {};
    auto add = [&](int64_t dx, int64_t dy) {
      if (std::max(std::abs(dx), std::abs(dy)) > kReach) {
        exact_ = false;
        return;
      }
      centre[dy + kMargin][dx + kMargin] = true;
    };
    auto offset = [&](double v) {
      const double f = std::floor(v);
      if (v != f && (v - f < 1e-6 || f + 1.0 - v < 1e-6)) exact_ = false;
      return static_cast<int64_t>(f);
    };
    for (double radius : radii) {
      for (double a = 0.0; a <= kMarkArcEnd; a += kMarkArcStep) {
        add(offset(radius * std::cos(a)), offset(-(radius * std::sin(a))));
      }
    }
    if (cross) {
      for (int64_t v = -7; v <= 6; ++v) {
        for (int64_t t = -1; t <= 1; ++t) {
          add(t, v);
          add(v, t);
        }
      }
    }
    for (int half = 0; half <= 2; ++half) {
      int& count = counts_[half];
      for (int dy = -kMargin; dy <= kMargin; ++dy) {
        for (int dx = -kMargin; dx <= kMargin; ++dx) {
          bool covered = false;
          for (int v = std::max(dy - half, -kMargin); v <= std::min(dy + half, kMargin); ++v) {
            for (int u = std::max(dx - half, -kMargin); u <= std::min(dx + half, kMargin); ++u) {
              covered = covered || centre[v + kMargin][u + kMargin];
            }
          }
          if (!covered) continue;
          Span* open = count > 0 ? &spans_[half][count - 1] : nullptr;
          if (open != nullptr && open->dy == dy && open->dx1 == dx - 1) {
            open->dx1 = static_cast<int8_t>(dx);
          } else if (count < kMaxSpans) {
            spans_[half][count++] = Span{static_cast<int8_t>(dy), static_cast<int8_t>(dx),
                                         static_cast<int8_t>(dx)};
          } else {
            exact_ = false;
          }
        }
      }
    }
  }

  // Draws the mark at (x, y) when it can be drawn as spans, or when no dot of
  // it can reach a drawable position; false when it must be drawn dot by dot.
  bool Draw(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) const {
    if (canvas.pixels == nullptr) return true;
    const int64_t w = canvas.width, h = canvas.height;
    // Every dot centre lies within kReach + 1 of (x, y), rounding included.
    if (x + kReach + 1 < 2 || x - kReach - 1 > w - 3 || y + kReach + 1 < 2 ||
        y - kReach - 1 > h - 3) {
      return true;
    }
    if (!exact_ || w >= kMaxSide || h >= kMaxSide || x - kReach < 2 || x + kReach > w - 3 ||
        y - kReach < 2 || y + kReach > h - 3) {
      return false;
    }
    const Pen pen = MakePen(canvas, colour);
    const int64_t half = pen.half;
    for (int i = 0; i < counts_[half]; ++i) {
      const Span& s = spans_[half][i];
      FillRow(canvas, pen, y + s.dy, x + s.dx0, x + s.dx1);
    }
    return true;
  }

 private:
  static constexpr int kReach = 12;               // no dot centre lies further out
  static constexpr int kMargin = kReach + 2;      // nor any pixel of its square
  static constexpr int kSide = 2 * kMargin + 1;
  static constexpr int kMaxSpans = 4 * kSide;
  static constexpr int64_t kMaxSide = int64_t{1} << 24;
  struct Span {
    int8_t dy, dx0, dx1;
  };
  bool exact_ = true;
  std::array<std::array<Span, kMaxSpans>, 3> spans_{};  // by the dot's half size
  std::array<int, 3> counts_{};
};

}  // namespace

uint32_t MarkSizeClass(uint32_t width, uint32_t height) {
  if (width <= 320 && height <= 320) return 0;
  if (width <= 1280 && height <= 1280) return 1;
  if (width <= 2560 && height <= 2560) return 2;
  return 3;
}

int32_t MarkScale(uint32_t mark_size_class) {
  static constexpr int32_t kAdvance[4] = {10, 20, 60, 100};
  return kAdvance[ClampedClass(mark_size_class)];
}

int32_t MarkScale(uint32_t mark_size_class, int32_t n) { return n * MarkScale(mark_size_class); }

Rgb OverlayColour(uint32_t index) {
  static constexpr uint32_t kTable[16] = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x00C0C0, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
  };
  const uint32_t v = index < 16 ? kTable[index] : 0;
  auto component = [](uint32_t c) { return static_cast<uint8_t>(c == 0 ? 1 : c); };
  return Rgb{component((v >> 16) & 0xFF), component((v >> 8) & 0xFF), component(v & 0xFF)};
}

void DrawPixel(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  Pixel(canvas, x, y, colour);
}

void DrawDot(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  Dot(canvas, x, y, colour);
}

void DrawDashedRect(const OverlayCanvas& canvas, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, Rgb colour) {
  // The dash pattern counts from the rectangle's own corner; positions
  // outside the image draw nothing, so only the part inside is walked.
  auto dash_colour = [&](int64_t i) { return i % 20 < 12 ? colour : kOverlayDark; };
  const int64_t x_end = std::min<int64_t>(right, canvas.width);
  for (int64_t x = std::max<int64_t>(left, 0); x < x_end; ++x) {
    const Rgb c = dash_colour(x - left);
    Dot(canvas, x, top, c);
    Dot(canvas, x, bottom, c);
  }
  const int64_t y_end = std::min<int64_t>(bottom, canvas.height);
  for (int64_t y = std::max<int64_t>(top, 0); y < y_end; ++y) {
    const Rgb c = dash_colour(y - top);
    Dot(canvas, left, y, c);
    Dot(canvas, right, y, c);
  }
}

void DrawLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (canvas.pixels == nullptr) return;
  const Pen pen = MakePen(canvas, colour);
  if (x1 == x2) {  // a dot on every row from one end to the other
    DotsInColumn(canvas, pen, x1, std::min(y1, y2), std::max(y1, y2));
    return;
  }
  // x runs from x1 by repeated addition of 0.02, so that the dots are those
  // of the accumulating double, rounding and all. Only columns 2 .. W - 3 and
  // rows 2 .. H - 3 can take a dot, so the walk is clipped to the part of the
  // line inside them before it starts: it begins at the first sum that
  // reaches column 2 and the clipped span, and stops at column W - 2 or the
  // span's end. The span is that of rows 1 .. H - 1 widened by one column on
  // either side, far more than the rounding of y1 + (x - x1) * m can move a
  // row, so every sum that could give a dot is still walked.
  if (x2 < 2) return;
  const double m = (static_cast<double>(y2) - y1) / (static_cast<double>(x2) - x1);
  const double x_end = static_cast<double>(canvas.width) - 2.0;
  double first = 2.0;
  double last = x2;
  if (m == 0.0) {
    if (y1 < 2 || int64_t{y1} >= int64_t{canvas.height} - 2) return;
  } else {
    // Within a band, the rows whose dot squares reach it, with the same room.
    const double top = std::max(1.0, static_cast<double>(canvas.band_top) - 3.0);
    const double bottom = std::min(static_cast<double>(canvas.height) - 1.0, static_cast<double>(canvas.band_bottom) + 3.0);
    const double a = x1 + (top - y1) / m;
    const double b = x1 + (bottom - y1) / m;
    first = std::max(first, std::min(a, b) - 1.0);
    last = std::min(last, std::max(a, b) + 1.0);
  }
  if (!(first <= last) || first >= x_end) return;  // no sum would be walked
  LineWalk(canvas, pen, x1, y1, m).Draw(AdvanceLineWalk(x1, first), last, x_end);
}

void DrawArc(const OverlayCanvas& canvas, int32_t cx, int32_t cy, double radius, double start,
             double end, double step, Rgb colour) {
  // Every dot lies within |radius| + 1 of the centre: an arc whose square
  // around the centre misses the image (or whose radius is not a number, so
  // that no dot has a position) draws nothing, and is not walked.
  const double reach = std::fabs(radius) + 2.0;
  if (!(reach < 1e18)) return;
  if (cx + reach < 0.0 || cx - reach > canvas.width || cy + reach < 0.0 ||
      cy - reach > canvas.height) {
    return;
  }
  for (double a = start; a <= end;) {
    int64_t px, py;
    if (TruncatedCoordinate(cx + radius * std::cos(a), &px) &&
        TruncatedCoordinate(cy - radius * std::sin(a), &py)) {
      Dot(canvas, px, py, colour);
    }
    // A step that does not advance the angle (zero, negative, NaN or too
    // small for its magnitude) would never end the loop: draw one dot only.
    const double next = a + step;
    if (!(next > a)) break;
    a = next;
  }
}

void DrawRingMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  static const MarkShape kRing({5.0, 6.0, 7.0}, false);
  if (kRing.Draw(canvas, x, y, colour)) return;
  for (double radius : {5.0, 6.0, 7.0}) {
    DrawArc(canvas, x, y, radius, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  }
}

void DrawTargetMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  static const MarkShape kTarget({12.0, 11.0}, true);
  if (kTarget.Draw(canvas, x, y, colour)) return;
  DrawArc(canvas, x, y, 12.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  DrawArc(canvas, x, y, 11.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  const int64_t cx = x, cy = y;
  for (int64_t v = cy - 7; v <= cy + 6; ++v) {
    Dot(canvas, cx - 1, v, colour);
    Dot(canvas, cx, v, colour);
    Dot(canvas, cx + 1, v, colour);
  }
  for (int64_t u = cx - 7; u <= cx + 6; ++u) {
    Dot(canvas, u, cy - 1, colour);
    Dot(canvas, u, cy, colour);
    Dot(canvas, u, cy + 1, colour);
  }
}

void DrawText(const OverlayCanvas& canvas, int32_t x, int32_t y, std::string_view text,
              Rgb colour) {
  if (canvas.text_observer) canvas.text_observer(x, y, text, colour);
  const uint32_t size_class = ClampedClass(canvas.mark_size_class);
  // Class 0 samples every second cell at half size; classes 2 and 3 spread
  // the cells 3 and 5 pixels apart and draw each as a dot.
  const int32_t cell_step = size_class == 0 ? 2 : 1;
  const int64_t advance = MarkScale(size_class);
  const int64_t top = y;
  int64_t left = x;
  for (char ch : text) {
    const uint8_t* glyph = FontGlyph(static_cast<uint8_t>(ch));
    for (int32_t v = 0; v < kGlyphRows; v += cell_step) {
      for (int32_t u = 0; u < kGlyphColumns; u += cell_step) {
        const bool ink = glyph[v * kGlyphColumns + u] != 0;
        if (!ink && !canvas.text_background) continue;
        const Rgb c = ink ? colour : kOverlayDark;
        switch (size_class) {
          case 0: Pixel(canvas, left + u / 2, top + v / 2, c); break;
          case 1: Pixel(canvas, left + u, top + v, c); break;
          case 2: Dot(canvas, left + 3 * u, top + 3 * v, c); break;
          default: Dot(canvas, left + 5 * u, top + 5 * v, c); break;
        }
      }
    }
    left += advance;
  }
}

}  // namespace orvane
