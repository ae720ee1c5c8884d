// Reading a model given as text, for the tests of the native keywords.
#pragma once

#include <string>

#include "model/model.h"
#include "test_support.h"

// A wire, a source and a frequency, so that the checks after reading pass.
// It comes first: the lines under test start at line 4, and the wires they
// make start at index 1 (tag 2).
inline const char* kHead = "WIRE 0 0 -1 0 0 1 name=headwire\nSOURCE headwire 50\nFREQ 14.2\n";
constexpr int kFirstLine = 4;

struct ModelText {
    int rc = -1;
    Model m;
    std::string err;
};

// Writes the text to a scratch file and reads it with model_read.
inline ModelText read_model_text(const std::string& text, const char* file_name = "m.ant") {
    ModelText r;
    model_clear_overrides();
    r.rc = model_read(write_file(file_name, text), r.m, r.err);
    return r;
}

// The same after kHead.
inline ModelText read_lines(const std::string& lines) {
    return read_model_text(cat({kHead, lines, "\n"}));
}
