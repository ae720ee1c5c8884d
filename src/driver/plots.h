// The plots of a run as self-contained SVG files: the design pattern cuts,
// SWR and impedance against frequency, and the feed impedance on a Smith
// chart. They draw what the run computed and compute no physics; each
// returns the whole document.
//
// Every panel is a <g> whose data-* attributes give its frame (centre and
// radius, or plot area and axis ranges), so that a rendering can be checked
// against the data.
#pragma once

#include <string>

#include "driver/results.h"
#include "model/model.h"

// pattern.svg: the azimuth cut at the elevation of the maximum and the
// elevation cut at its azimuth (res.cut_az, res.cut_el), polar, in dBi on
// rings 10 dB apart.
std::string plot_pattern_svg(const Model& m, const RunResults& res);

// swr.svg: SWR (logarithmic axis) and R, X against frequency over the
// sweep; empty when the sweep spans no frequency range (plot_has_sweep).
std::string plot_swr_svg(const Model& m, const RunResults& res);

// smith.svg: the feed impedance of the sweep points and of the design
// frequency on a Smith chart normalised to the model's z0ref.
std::string plot_smith_svg(const Model& m, const RunResults& res);

// Whether the sweep spans a frequency range (two or more points at
// different frequencies): the condition for swr.svg.
bool plot_has_sweep(const RunResults& res);
