// NEC-2 card deck reader.
#pragma once

#include <cstdio>
#include <string>

#include "model/model.h"

// Reads the cards of an open deck into the model (is_nec already set).
// Returns 0 at EN or at the end of the file, or -1 with a message in err.
int read_nec(std::FILE* f, Model& m, std::string& err);
