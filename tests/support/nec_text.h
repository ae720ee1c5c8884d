// Reading a NEC deck given as text, for the reader's tests.
#pragma once

#include <string>

#include "model/model.h"

// Reads the deck through read_nec into a fresh model, with a fresh symbol
// table (SY symbols of an earlier deck must not leak in); returns read_nec's
// code, or -99 when no scratch file could be made.
int read_nec_text(const std::string& text, Model& m, std::string& err);
