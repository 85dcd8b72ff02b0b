// The command line of velmora-render.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::host {

struct Options {
    std::string input;
    std::string output;
    // Batch form: every file named goes into outputDir under its own name.
    std::string outputDir;
    std::vector<std::string> inputs;
    int jobs = 0;                      // files at once; 0 for one per core
    std::vector<std::string> settings; // NAME=VALUE, in the order given
    std::string sidechain;
    std::string state;
    std::string saveState;
    std::string meters;
    std::string plot;
    std::string plugin;
    int blockSize = 512;
    bool listParams = false;
    bool help = false;
    bool quiet = false;
    bool verbose = false;
};

constexpr int kMaxBlockSize = 65536;
constexpr int kMaxJobs = 1024;

// Fills `options`; false with a one-line message for a command line that
// cannot be run (unknown option, missing value, wrong number of files).
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

std::string usageText();

} // namespace velmora::host
