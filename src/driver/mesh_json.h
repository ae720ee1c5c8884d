// mesh.json: the segmentation of a model without a solution, written by a
// mesh-only run, and the error file that takes its place when reading or
// meshing fails in that mode.
#pragma once

#include <string>

#include "mesh/mesh.h"
#include "model/model.h"

// Writes the mesh document to path. Returns 0, or -1 when the file could not
// be written (an existing file is then left as it was).
int mesh_json_write(const std::string& path, const Model& m, const Mesh& mesh);

// Writes {"error":<message>} to path. Returns 0 or -1 like mesh_json_write.
int mesh_json_error(const std::string& path, const std::string& message);
