// Figures drawn from a frequency sweep's impedances.
#pragma once

#include <complex>
#include <string>
#include <vector>

#include "model/model.h"

// First series resonance in MHz: the first pair of neighbouring points whose
// reactance changes sign (a point with X exactly 0 only as the second of a
// pair), interpolated linearly. -1 when the sweep has fewer than 2 points or
// no crossing.
double sweep_fres(const std::vector<double>& f_hz, const std::vector<std::complex<double>>& z);

// Frequency of the largest input resistance in MHz, refined by a parabola
// through the maximum and its two neighbours. -1 when the maximum lies at
// either end of the sweep or the sweep has fewer than 3 points.
double sweep_fpeak(const std::vector<double>& f_hz, const std::vector<std::complex<double>>& z);

// A warning text when the design frequency lies outside a sweep of two or
// more points (beyond a relative 1e-9 of its ends); empty otherwise.
std::string sweep_f0_warning(const Model& m);

// Frequency (MHz) and value (dBi) of the largest gain of the sweep, refined
// by a parabola through the maximum and its two neighbours. Returns false
// when the maximum lies at either end of the sweep (the peak may lie
// beyond it), the gains are not finite, or the sweep has fewer than 3
// points.
bool sweep_gain_peak(const std::vector<double>& f_hz, const std::vector<double>& g_dbi,
                     double* f_mhz, double* g_peak);
