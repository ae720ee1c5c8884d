// results.json: everything a run found, on one line in a fixed key order.
#pragma once

#include <string>
#include <vector>

#include "driver/results.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Writes the document to path through a temporary file renamed into place;
// it formats what the run computed (the segment potentials are res.seg_v).
// Returns 0, or -1 when it could not be written (an existing file is then
// left as it was).
int results_json_write(const std::string& path, const std::string& input, const Model& m,
                       const Mesh& mesh, const RunResults& res);
