// An output that appears under its name only when it is complete: written to
// a temporary file beside the target and renamed over it at the end. A file
// that is never committed is removed.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace velmora::host {

class PendingFile {
public:
    // Creates the temporary file (empty) next to `target`. Null with a
    // message when the folder is missing or not writable, or the target is
    // a folder.
    static std::unique_ptr<PendingFile> create(const std::filesystem::path& target,
                                               std::string& error);

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }

    // Renames the temporary file to the target.
    bool commit(std::string& error);
    // Removes the temporary file.
    void discard();

private:
    PendingFile() = default;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool open_ = false;
};

} // namespace velmora::host
