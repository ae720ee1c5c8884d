// The optimized model file: its name, and the copy of the model text with
// the tuned variables' best values written into its VAR and PARAM lines.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model/model.h"

// Longest name of an optimized model file, characters; a longer one is
// refused rather than cut (a cut name would be another file).
constexpr size_t kOptFileNameMax = 1199;

// The model path with everything from its last '.' removed (when it has
// one anywhere, also in a directory name) and "_opt.ant" appended:
// "dir/yagi.ant" -> "dir/yagi_opt.ant", "./yagi" -> "_opt.ant".
std::string opt_file_name(const std::string& model_path);

// Rebuilds one line of a model file when the model reader takes it for a
// VAR or PARAM line, and returns false (out untouched) otherwise. text is
// the line without its line end. The rebuilt line is the keyword in upper
// case, then every token of the line separated by single blanks, with the
// value of each assignment to a tuned variable (name=value or name value;
// names compared as the reader compares them, the last matching OPTVAR
// winning) replaced by its best value in "%.6g" form, then two blanks and
// the comment (from the first '#' or ';') when there is one. Tokens that
// the reader would split or join are written in double quotes. A rebuilt
// line longer than the reader takes in one piece is split into several
// lines of the same keyword between assignments; out then holds the lines
// joined by '\n' (without a final line end).
bool opt_rebuild_var_line(const std::string& text, const std::vector<OptVar>& vars,
                          std::span<const double> best, std::string* out);

// The whole optimized model text: the line "# optimized by Quarlin <version>:
// cost <cost>", then the model text piece by piece as the reader splits it,
// VAR and PARAM lines rebuilt (up to an END line), every other byte copied.
std::string opt_model_text(const std::string& model_text, const std::vector<OptVar>& vars,
                           std::span<const double> best, double cost);

// Result of writing the optimized file.
enum OptWrite : int {
    OPT_WRITTEN = 0,
    OPT_CANNOT_READ = 1,  // the model file could not be read again
    OPT_CANNOT_WRITE = 2, // the new file could not be written (nothing changed on disk)
};

// Reads the model file and writes its optimized copy to out_path through a
// temporary file and a rename, so that a failed or interrupted write never
// leaves a truncated file behind.
int opt_write_model(const std::string& model_path, const std::string& out_path,
                    const std::vector<OptVar>& vars, std::span<const double> best, double cost);

// Whether out_path can be written (a temporary file beside it is created
// and removed); false also for a name longer than kOptFileNameMax.
bool opt_can_write(const std::string& out_path);
