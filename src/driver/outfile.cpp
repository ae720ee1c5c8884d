#include "driver/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/text.h"

OutFile::OutFile(std::string path) : path_(std::move(path)) {}

OutFile::~OutFile() {
    if (f_) std::fclose(f_);
    if (!tmp_.empty()) std::remove(tmp_.c_str());
}

bool OutFile::open() {
    // A name of our own beside the target, so that the rename stays within
    // one file system and concurrent runs never share a temporary file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string tmp =
            strfmt("%s.%ld.%d.tmp", path_.c_str(), static_cast<long>(getpid()), attempt);
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        f_ = fdopen(fd, "w");
        if (!f_) {
            ::close(fd);
            std::remove(tmp.c_str());
            return false;
        }
        tmp_ = tmp;
        return true;
    }
    return false;
}

bool OutFile::commit() {
    if (!f_) return false;
    bool ok = std::fflush(f_) == 0 && !std::ferror(f_);
    ok = std::fclose(f_) == 0 && ok;
    f_ = nullptr;
    if (ok) ok = std::rename(tmp_.c_str(), path_.c_str()) == 0;
    if (ok) tmp_.clear(); // nothing left to remove
    return ok;
}

int write_text_file(const std::string& path, const std::string& text) {
    OutFile out(path);
    if (!out.open()) return -1;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out.file()) != text.size())
        return -1;
    return out.commit() ? 0 : -1;
}

void make_dir(const std::string& dir) {
    ::mkdir(dir.c_str(), 0777);
}

int outdir_make(const std::string& dir, std::string& err) {
    int made = dir.empty() ? -1 : ::mkdir(dir.c_str(), 0777);
    int why = made == 0 ? 0 : (dir.empty() ? ENOENT : errno);
    struct stat st;
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (why == 0 || why == EEXIST) why = ENOTDIR; // a file of that name is in the way
        err =
            strfmt("cannot create the output directory '%s' (%s)", dir.c_str(), std::strerror(why));
        return -1;
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        err = strfmt("the output directory '%s' is not writable", dir.c_str());
        return -1;
    }
    return 0;
}
