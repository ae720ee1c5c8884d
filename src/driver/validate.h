// Validation mode: runs a list of reference models once each, reads design
// values back from their results.json and compares them with reference
// values and tolerances, one PASS or FAIL line per check.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Limits of the checks file and of the values read back.
constexpr std::size_t kCheckMaxLines = 600;       // non-empty lines looked at
constexpr std::size_t kCheckMaxLineLen = 2047;    // characters of a line used
constexpr std::size_t kCheckMaxNames = 400;       // run names remembered
constexpr std::size_t kCheckMaxNameLen = 63;      // characters of a run name
constexpr std::size_t kCheckMaxRefName = 127;     // characters of a referenced run name
constexpr std::size_t kCheckMaxRefKey = 31;       // characters of a referenced key
constexpr std::size_t kCheckMaxVerdict = 1599;    // characters of a verdict line
constexpr std::size_t kCheckMaxResultPath = 1199; // characters of a results path
constexpr std::size_t kCheckMaxKeySearch = 63;    // characters of "\"key\":"

// The whole file byte for byte (no line-end translation), or nothing when it
// cannot be opened or not be read completely.
std::optional<std::string> slurp(const std::string& path);

// One value of outdir/name/results.json: the number after the first "key":
// that follows the text "design":{ (the search reads on past the design
// object, so the reflector's figures after it are found too). Returns 0 with
// the value, or 1 when the file cannot be read, has no design object, the
// key is not found, or no number follows it (a null written for a value that
// was not finite).
int design_val1(const std::string& outdir, const std::string& name, const std::string& key,
                double& val);

// One line of the checks file: seven fields separated by ';'.
struct CheckLine {
    std::string name;   // run name: the subdirectory of the output directory
    std::string model;  // model file, relative to the checks file's directory
    std::string key;    // a design key of results.json, or "rloss"
    std::string ref;    // a number, or "@run.key" with optional "*factor" and "+/-offset"
    std::string tol;    // absolute tolerance, or a percentage with '%'
    std::string source; // where the reference comes from
    std::string note;
};

// Removes leading blanks and tabs and trailing blanks, tabs, carriage
// returns and line feeds.
std::string check_trim(const std::string& s);

// Splits a trimmed line at its first six ';' into the seven trimmed fields
// (the seventh ends at a further ';'). False when the line has fewer than
// six ';'.
bool check_split(const std::string& line, CheckLine& c);

// A reference to another run's value: factor * value of run.key + offset.
struct CheckRef {
    std::string run;
    std::string key;
    double factor = 1;
    double offset = 0;
};

// Parses a ref field that starts with '@'. False when it has no '.' or when
// a '*' or a sign is not followed by a number.
bool check_parse_ref(const std::string& ref, CheckRef& r);

// The tolerance of a check: the number at the start of tol (0 when there is
// none), as a percentage of |expected| when tol contains '%'.
double check_tolerance(const std::string& tol, double expected);

// True when |value - expected| <= tol. A value or expected value that is not
// finite fails whatever the tolerance, as does a tolerance that is NaN.
bool check_passes(double value, double expected, double tol);

// A run name that can be used as one directory level below the output
// directory: 1 to 63 characters, no '/' or '\\', no control characters,
// neither "." nor "..".
bool check_name_ok(const std::string& name);

// A model path that stays inside the checks file's directory: relative,
// without a ".." component.
bool check_model_ok(const std::string& model);

// The validation mode: args[0] is the program, args[1] "-check", args[2] the
// checks file, args[3] the output directory (default "validation_out") and
// args[4] "-norun" to compare the results already there. Returns the exit
// code: 0 when every check passed, else 1.
int validate_main(const std::vector<std::string>& args);
