// Outputs must never replace an input or each other: a CSV written over the
// audio it was measured from loses the recording.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::host {

struct NamedPath {
    std::string role; // how the message names it: "--meters", "the input"
    std::string path;
};

// Whether two names reach one file: the same file when both exist (through
// symbolic and hard links, "..", bind mounts), otherwise the same path once
// links and dots are resolved.
bool sameFile(const std::string& a, const std::string& b);

// The one-line message for the first output that names an input or an
// earlier output; nothing when all are distinct.
std::optional<std::string> outputConflict(const std::vector<NamedPath>& inputs,
                                          const std::vector<NamedPath>& outputs);

} // namespace velmora::host
