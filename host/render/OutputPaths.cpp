#include "render/OutputPaths.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace velmora::host {

namespace {

// Equal for two names exactly when sameFile holds for them.
std::string fileKey(const std::string& path) {
    struct stat s {};
    if (::stat(path.c_str(), &s) == 0) {
        return "inode " + std::to_string(s.st_dev) + ":" + std::to_string(s.st_ino);
    }
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    return "path " + (ec ? path : canonical.string());
}

} // namespace

bool sameFile(const std::string& a, const std::string& b) {
    return fileKey(a) == fileKey(b);
}

std::optional<std::string> outputConflict(const std::vector<NamedPath>& inputs,
                                          const std::vector<NamedPath>& outputs) {
    std::map<std::string, const NamedPath*> readFrom;
    for (const NamedPath& in : inputs) {
        readFrom.emplace(fileKey(in.path), &in);
    }
    std::map<std::string, const NamedPath*> written;
    for (const NamedPath& out : outputs) {
        const std::string key = fileKey(out.path);
        if (auto in = readFrom.find(key); in != readFrom.end()) {
            return out.role + " '" + out.path + "' would overwrite " + in->second->role + " '" +
                   in->second->path + "'";
        }
        if (auto [earlier, fresh] = written.emplace(key, &out); !fresh) {
            return earlier->second->role + " and " + out.role + " both write '" + out.path + "'";
        }
    }
    return std::nullopt;
}

} // namespace velmora::host
