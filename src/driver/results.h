// What one analysis run produces: the sweep and design figures, the design
// currents and the pattern, for the report and results.json.
#pragma once

#include <vector>

#include "common/constants.h"
#include "solver/solve.h"

struct RunResults {
    std::vector<FreqResult> sweep;         // one record per sweep point
    FreqResult design;                     // the design frequency
    std::vector<cplx> cur;                 // design currents, one per unknown
    std::vector<cplx> src_cur;             // design terminal current of every source
    double bwaz = 0, bwel = 0;             // design 3-dB beam widths, degrees
    int nth = 0, nph = 0;                  // pattern grid
    std::vector<float> gt, gv, gh, gr, gl; // gains in dB, nth x nph, row-major by theta
    double convdz = -1;                    // relative impedance change with twice the segments
    cplx zconv;                   // the impedance with twice the segments, 0 when not computed
    double runtime = 0;           // s
    double fres = -1, fpeak = -1; // MHz, -1 when absent
};
