// velmora-render: the command-line tool around the host library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmora::host {

// Runs the tool; returns the process exit code (0 done, 1 failed, 2 bad
// command line, 128 + the signal when stopped by one: 130 for Ctrl-C).
int runTool(const std::vector<std::string>& args);

// Where the plug-in is looked for when --plugin is not given, in order.
std::vector<std::filesystem::path> defaultPluginLocations();

} // namespace velmora::host
