// velmora-edit: the plug-in's editor in a window of its own, optionally with
// a file looping through the processor in real time, and the settings saved
// on close in the form velmora-render --state reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::host {

struct EditOptions {
    std::string plugin;
    std::string state;
    std::string saveState;
    std::string input;
    std::string sidechain;
    bool help = false;
};

// False with a one-line message for a command line that cannot be run.
bool parseEditOptions(const std::vector<std::string>& args, EditOptions& options,
                      std::string& error);
std::string editUsageText();

// Runs the tool; returns the process exit code (0 done, 1 failure, 2 usage).
int runEditTool(const std::vector<std::string>& args);

} // namespace velmora::host
