#include "render/PendingFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora::host {

std::unique_ptr<PendingFile> PendingFile::create(const std::filesystem::path& target,
                                                 std::string& error) {
    std::error_code ec;
    if (target.empty() || !target.has_filename()) {
        error = "'" + target.string() + "' is not a file name";
        return nullptr;
    }
    if (std::filesystem::is_directory(target, ec)) {
        error = "cannot write '" + target.string() + "': " + std::strerror(EISDIR);
        return nullptr;
    }
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path dir = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + target.filename().string() + ".part-" +
                                 std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const std::filesystem::path candidate =
            dir.empty() ? std::filesystem::path(name) : dir / name;
        // Created with the usual permissions (0666 less the umask), which the
        // rename keeps.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            std::unique_ptr<PendingFile> file(new PendingFile());
            file->target_ = target;
            file->temporary_ = candidate;
            file->open_ = true;
            return file;
        }
        if (errno != EEXIST) {
            error = "cannot write '" + target.string() + "': " + std::strerror(errno);
            return nullptr;
        }
    }
    error = "cannot write '" + target.string() + "': no free temporary name";
    return nullptr;
}

PendingFile::~PendingFile() {
    discard();
}

void PendingFile::discard() {
    if (open_) {
        ::unlink(temporary_.c_str());
        open_ = false;
    }
}

bool PendingFile::commit(std::string& error) {
    if (!open_) {
        error = "'" + target_.string() + "' was already finished";
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = "cannot write '" + target_.string() + "': " + std::strerror(errno);
        discard();
        return false;
    }
    open_ = false;
    return true;
}

} // namespace velmora::host
