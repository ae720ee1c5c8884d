#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string test_dir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/') c = '_';
    fs::path dir = fs::path(QUARLIN_TEST_TMP) / name;
    static std::string last;
    if (last != dir.string()) {
        fs::remove_all(dir);
        last = dir.string();
    }
    fs::create_directories(dir);
    return dir.string();
}

std::string write_file_at(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return path;
}

std::string write_file(const std::string& name, const std::string& text) {
    return write_file_at((fs::path(test_dir()) / name).string(), text);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::string();
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool file_exists(const std::string& path) {
    return fs::exists(path);
}

std::string source_path(const std::string& rel) {
    return (fs::path(QUARLIN_SOURCE_DIR) / rel).string();
}

static std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

RunResult run_quarlin(const std::vector<std::string>& args) {
    std::string dir = test_dir();
    std::string out = dir + "/.stdout", err = dir + "/.stderr";
    std::string cmd = "cd ";
    cmd += shell_quote(dir);
    cmd += " && ";
    cmd += shell_quote(QUARLIN_BIN);
    for (const auto& a : args) {
        cmd += ' ';
        cmd += shell_quote(a);
    }
    cmd += " >";
    cmd += shell_quote(out);
    cmd += " 2>";
    cmd += shell_quote(err);
    int status = std::system(cmd.c_str());
    RunResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (auto p : parts) s += p;
    return s;
}

ModelRun run_model(const std::string& model, const std::vector<std::string>& extra,
                   const std::string& out_name) {
    const std::string out = test_dir() + "/" + out_name;
    std::vector<std::string> args = {model, "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    ModelRun run;
    run.r = run_quarlin(args);
    run.text = read_file(out + "/results.json");
    if (!run.text.empty()) run.j = nlohmann::json::parse(run.text);
    return run;
}
