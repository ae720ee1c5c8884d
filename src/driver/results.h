// What one analysis run produces: the sweep and design figures, the design
// currents and the pattern, for the report and results.json.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "dish/dish.h"
#include "solver/solve.h"

// A pattern cut as the plots draw it: total gain in dBi against an angle in
// degrees, counter-clockwise from the cut's reference direction.
struct CutCurve {
    std::vector<double> ang_deg;
    std::vector<double> g_db;
};

struct RunResults {
    std::vector<FreqResult> sweep; // one record per sweep point
    FreqResult design;             // the design frequency
    std::vector<cplx> cur;         // design currents, one per unknown
    std::vector<cplx> src_cur;     // design terminal current of every source
    std::vector<cplx> seg_v;       // design potential at every segment centre, V
    double bwaz = 0, bwel = 0;     // design 3-dB beam widths, degrees
    double bwel_horizon = 0;       // one-sided elevation width from the horizon up, when bwel is 0
    int nth = 0, nph = 0;          // pattern grid
    std::vector<float> gt, gv, gh, gr, gl; // gains in dB, nth x nph, row-major by theta
    double convdz = -1;                    // relative impedance change with twice the segments
    cplx zconv;                   // the impedance with twice the segments, 0 when not computed
    cplx zconv_est;               // extrapolated from both meshes, 0 when not computed
    std::string conv_note;        // why the segmentation could not be refined (with -conv)
    double runtime = 0;           // s
    double fres = -1, fpeak = -1; // MHz, -1 when absent
    // Design pattern cuts through the maximum, made only for the plots:
    // around the azimuth (angle = phi) at the elevation of the maximum, and
    // around the vertical plane through its azimuth (angle = elevation from
    // the horizon in front: 90 zenith, 180 horizon behind, 270 nadir; only
    // 0 to 180 over a ground).
    CutCurve cut_az, cut_el;
    bool gain_peak = false; // the sweep's gain has a maximum inside it:
    double gpeak_f = 0;     //   its frequency, MHz
    double gpeak_g = 0;     //   and value, dBi
    DishResult dish;        // the reflector, when the model has one
};
