#include "driver/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

void make_dir(const std::string& dir) {
    ::mkdir(dir.c_str(), 0777);
}
