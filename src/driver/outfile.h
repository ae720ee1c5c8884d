// Output files that appear complete or not at all: the text is written to a
// temporary file beside the target and renamed over it only after every
// byte was written, so a failed write never leaves a truncated file in
// place of a good one.
#pragma once

#include <cstdio>
#include <string>

class OutFile {
  public:
    explicit OutFile(std::string path);
    ~OutFile(); // removes the temporary file unless it was committed
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    // Creates the temporary file; false when that is impossible.
    bool open();
    std::FILE* file() { return f_; }
    // Flushes and closes the temporary file and renames it to the target;
    // false (and no file change) when any write, the close or the rename
    // failed.
    bool commit();

  private:
    std::string path_;
    std::string tmp_;
    std::FILE* f_ = nullptr;
};

// Writes a whole text to path through an OutFile: 0, or -1 when it could
// not be written (an existing file is then left as it was).
int write_text_file(const std::string& path, const std::string& text);

// Creates one directory level; an existing directory or a failure is
// ignored (a failure shows when the file inside cannot be written).
void make_dir(const std::string& dir);

// Creates one directory level (an existing directory is fine) and checks
// that files can be made in it. Returns 0, or -1 with a one-line message in
// err ("cannot create the output directory ...", "... is not writable").
int outdir_make(const std::string& dir, std::string& err);
