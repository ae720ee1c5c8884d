// The reflector stage of the analysis run and what it adds to the report
// and to results.json.
#pragma once

#include <cstdio>
#include <string>

#include "dish/dish.h"
#include "driver/results.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Analyses the model's reflector at the design frequency with the design
// currents: prints its warnings (also in a quiet run), replaces the run's
// pattern by the reflector system's and the design gain, its direction, the
// front/back and the beam widths by the reflector's. Returns 0, or -1 with
// a message in err.
int dish_stage(const Model& m, const Mesh& mesh, RunResults& res, std::string& err);

// The reflector's lines of the design block, in place of the maximum-gain
// line.
void report_dish(const Model& m, const DishResult& d);

// The "dish" object of results.json, with its leading comma; values that
// are not finite are written as null.
void dish_json(std::FILE* f, const Model& m, const DishResult& d);
