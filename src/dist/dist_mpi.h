// What the files of the MPI build share: the communicator of the run and a
// few broadcasts. Included only by the *_mpi.cpp files of this module.
#pragma once

#include <mpi.h>

#include <string>
#include <vector>

#include "common/constants.h"

// The ranks taking part in the run: the whole job, or rank 0 alone after
// dist_solo.
MPI_Comm dist_comm();

// Broadcasts from rank root of dist_comm(): a text, a vector of complex
// values (resized on the receivers) and a plain record of bytes.
void dist_bcast_text(std::string& s, int root);
void dist_bcast_cplx(std::vector<cplx>& v, int root);
template <class T> void dist_bcast_record(T& rec, int root) {
    MPI_Bcast(&rec, static_cast<int>(sizeof(T)), MPI_BYTE, root, dist_comm());
}
