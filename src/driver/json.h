// JSON text helpers shared by the writers of mesh.json and results.json.
#pragma once

#include <cstdio>
#include <string>

// Writes s as a JSON string: a double quote, every byte of s where '"' and
// '\\' are preceded by a backslash and control bytes (0 to 31) are dropped,
// then a closing double quote. UTF-8 sequences are copied unchanged; a byte
// that is not part of one is written as \u00XX, its Latin-1 character, so
// that the document stays valid JSON whatever the text's encoding. Returns
// what the last character write returned (EOF on a write error).
int json_str(std::FILE* f, const std::string& s);

// Writes v with the printf conversion fmt (one double conversion), or null
// when v is not finite, so that the document stays valid JSON.
void json_num(std::FILE* f, const char* fmt, double v);

// Appends v as "%.2f" writes it, quickly for values of single precision
// (the pattern gains).
void json_append_fixed2(std::string& out, double v);
