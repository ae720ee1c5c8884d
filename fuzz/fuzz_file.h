// The fuzzer's bytes as a file in /tmp, one per process, for the readers
// that take a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

// Writes the bytes to /tmp/quarlin_<stem>_<pid>; returns the path, or ""
// when the file cannot be written.
inline std::string fuzz_file(const char* stem, const uint8_t* data, size_t size) {
    std::string path = "/tmp/quarlin_" + std::string(stem) + "_" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "";
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    return ok ? path : "";
}
