// Warnings a run gives about how far its figures can be trusted: printed
// also in quiet runs, since a warning is not chatter.
#pragma once

#include <string>

#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

// The wire that comes closest to a reflection-coefficient real ground
// (GROUND real without sommerfeld, NEC GN 0) when it comes within 0.1
// wavelength at the lowest frequency of the run, where that ground's
// approximation fails: the warning text, or "" when there is none.
std::string run_check_near_ground(const Model& m, const Mesh& mesh);

// A passive antenna radiating more than 1.02 times its input power (the
// efficiency or the average gain test above 1.02): the model, usually its
// ground, is not valid for this antenna. The warning text, or "".
std::string run_check_power(const Model& m, const FreqResult& design);
