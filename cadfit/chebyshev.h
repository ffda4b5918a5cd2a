// The Chebyshev (min-max) fit of a small linear model: the step x that
// makes the largest |d_i + g_i . x| smallest, by the simplex method on the
// linear program's dual.
#pragma once

#include <array>
#include <vector>

namespace orvane::cad {

// The step x and the smallest largest |residual| *t. False when the rows
// do not hold x (they leave a direction free) or the simplex does not
// settle within its bound on pivots.
bool ChebyshevStep(const std::vector<std::array<double, 3>>& g, const std::vector<double>& d,
                   std::array<double, 3>* x, double* t);

}  // namespace orvane::cad
