// JSON text helpers shared by the writers of mesh.json and results.json.
#pragma once

#include <cstdio>
#include <string>

// Writes s as a JSON string: a double quote, every byte of s where '"' and
// '\\' are preceded by a backslash and bytes 1 to 31 are dropped (bytes above
// 127 are copied unchanged), then a closing double quote. Returns what the
// last character write returned (EOF on a write error).
int json_str(std::FILE* f, const std::string& s);

// Writes v with the printf conversion fmt (one double conversion), or null
// when v is not finite, so that the document stays valid JSON.
void json_num(std::FILE* f, const char* fmt, double v);
