// Gauss-Legendre rules of 1 to 16 points on [0, 1].
//
// Row n of GX/GW holds the n nodes (1 - x)/2 and weights 1/((1 - x^2) P_n'(x)^2)
// for the roots x of the Legendre polynomial P_n; the weights of a row sum
// to 1 and the rule integrates polynomials of degree 2n - 1 exactly.
// Row 0 and the unused tail of each row are zero.
#pragma once

constexpr int kGaussMax = 16;

extern double GX[kGaussMax + 1][kGaussMax];
extern double GW[kGaussMax + 1][kGaussMax];
extern bool g_init;

// Fills GX/GW once per process; cheap afterwards. Call from the main thread
// before any worker reads the tables.
void gauss_init();
