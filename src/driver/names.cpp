#include "driver/names.h"

#include "mesh/mesh.h"
#include "model/model.h"

const char* ground_name(int ground) {
    switch (ground) {
    case GROUND_PERFECT:
        return "perfect ground";
    case GROUND_REAL:
    case GROUND_MININEC:
        return "real ground";
    case GROUND_PCB:
        return "printed board";
    default:
        return "free space";
    }
}

int wire_count(const Model& m, const Mesh& mesh) {
    return mesh.expanded_wires.empty() ? m.nwire() : mesh.n_expanded_wires();
}
