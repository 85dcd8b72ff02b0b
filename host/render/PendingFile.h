// An output that appears under its name only when it is complete: written to
// a temporary file beside the target and renamed over it at the end. A file
// that is never committed is removed.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace velmora::host {

class PendingFile {
public:
    // Creates the temporary file (empty) next to `target`, or next to the
    // file it links to, so that the link stays. Its name fits wherever the
    // target's name fits. Null with a message when the folder is missing or
    // not writable, or the target is a folder.
    static std::unique_ptr<PendingFile> create(const std::filesystem::path& target,
                                               std::string& error);

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }

    // Gives the temporary file the mode of the file it replaces and puts its
    // data on the disk. Done by commit when not before.
    bool prepare(std::string& error);
    // Renames the temporary file to the target and puts the folder entry on
    // the disk, so that after a power cut the target is either the old file
    // or the complete new one.
    bool commit(std::string& error);
    // Removes the temporary file.
    void discard();

private:
    PendingFile() = default;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::optional<mode_t> keptMode_;
    bool open_ = false;
    bool prepared_ = false;
};

// The temporary name for `name`: hidden, marked as partial, unique through
// `tag`, and at most `limit` bytes long (the name is cut short, on a
// character boundary, when it has to be). Empty when not even a short form
// fits.
std::string temporaryName(const std::string& name, const std::string& tag, std::size_t limit);

} // namespace velmora::host
