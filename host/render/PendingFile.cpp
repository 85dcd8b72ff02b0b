#include "render/PendingFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::host {

// '\'' + text, not "'" + text: with a one-character string literal in front
// of a temporary std::string, GCC 12 at -O3 reports a bogus -Wrestrict inside
// libstdc++ (GCC bug 105329); a char takes another path.

namespace {

std::string failure(const std::filesystem::path& target, int error) {
    return "cannot write '" + target.string() + "': " + std::strerror(error);
}

// The longest temporary name that works in `dir`: within the file system's
// limit for a name and, with the folder in front, within the limit for a
// path.
std::size_t nameBudget(const std::filesystem::path& dir) {
    const long nameMax = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    std::size_t budget = nameMax > 0 ? static_cast<std::size_t>(nameMax) : NAME_MAX;
    const std::size_t prefix = dir.empty() ? 0 : dir.native().size() + 1;
    // The path and its closing zero.
    if (prefix + budget >= PATH_MAX) {
        budget = prefix + 1 < PATH_MAX ? PATH_MAX - 1 - prefix : 0;
    }
    return budget;
}

bool syncFolder(const std::filesystem::path& dir, std::string& error,
                const std::filesystem::path& target) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = failure(target, errno);
        return false;
    }
    // Some file systems cannot sync a folder; their renames are what they are.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    const int why = errno;
    ::close(fd);
    if (!ok) {
        error = failure(target, why);
    }
    return ok;
}

} // namespace

std::string temporaryName(const std::string& name, const std::string& tag, std::size_t limit) {
    const std::string suffix = ".part-" + tag;
    std::string head = '.' + name;
    if (head.size() + suffix.size() > limit) {
        if (limit < suffix.size() + 2) {
            return {};
        }
        head.resize(limit - suffix.size());
        // Drop a multi-byte UTF-8 character the cut went through.
        while (head.size() > 1 && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80) {
            head.pop_back();
        }
        if (head.size() > 1 && (static_cast<unsigned char>(head.back()) & 0x80) != 0) {
            head.pop_back();
        }
    }
    return head + suffix;
}

std::unique_ptr<PendingFile> PendingFile::create(const std::filesystem::path& given,
                                                 std::string& error) {
    std::error_code ec;
    if (given.empty() || !given.has_filename()) {
        error = '\'' + given.string() + "' is not a file name";
        return nullptr;
    }
    if (std::filesystem::is_directory(given, ec)) {
        error = failure(given, EISDIR);
        return nullptr;
    }
    std::filesystem::path target = given;
    if (std::filesystem::is_symlink(given, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(given, ec);
        if (!ec) {
            target = resolved;
        }
    }
    std::unique_ptr<PendingFile> file(new PendingFile());
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        file->keptMode_ = existing.st_mode & 07777;
    }

    static std::atomic<unsigned> counter{0};
    const std::filesystem::path dir = target.parent_path();
    const std::size_t budget = nameBudget(dir);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            temporaryName(target.filename().string(),
                          std::to_string(::getpid()) + "-" + std::to_string(counter++), budget);
        if (name.empty()) {
            error = failure(given, ENAMETOOLONG);
            return nullptr;
        }
        const std::filesystem::path candidate =
            dir.empty() ? std::filesystem::path(name) : dir / name;
        // Created with the usual permissions (0666 less the umask); a file
        // it replaces passes its own on at the commit.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            file->target_ = target;
            file->temporary_ = candidate;
            file->open_ = true;
            return file;
        }
        if (errno != EEXIST) {
            error = failure(given, errno);
            return nullptr;
        }
    }
    error = "cannot write '" + given.string() + "': no free temporary name";
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

bool PendingFile::prepare(std::string& error) {
    if (!open_) {
        error = '\'' + target_.string() + "' was already finished";
        return false;
    }
    if (prepared_) {
        return true;
    }
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0;
    if (ok && keptMode_) {
        ok = ::fchmod(fd, *keptMode_) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    const int why = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!ok) {
        error = failure(target_, why);
        discard();
        return false;
    }
    prepared_ = true;
    return true;
}

bool PendingFile::commit(std::string& error) {
    if (!prepare(error)) {
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = failure(target_, errno);
        discard();
        return false;
    }
    open_ = false;
    return syncFolder(target_.parent_path(), error, target_);
}

} // namespace velmora::host
