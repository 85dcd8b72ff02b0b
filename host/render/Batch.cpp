#include "render/Batch.h"

#include "render/Interrupt.h"
#include "render/Progress.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <new>
#include <sched.h>
#include <thread>

namespace velmora::host {

namespace {

enum class Stage { Waiting, Running, Finished };

struct Slot {
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> total{kUnknownFrames};
    Stage stage = Stage::Waiting; // under the batch's lock
    bool reported = false;
    RenderResult result;
};

// An instance whose creation and destruction count as main-thread calls.
class Instance {
public:
    Instance(const PluginSetup& setup, std::mutex& mainThread, std::string& error)
        : mainThread_(mainThread) {
        std::lock_guard<std::mutex> lock(mainThread_);
        plugin_ = makeInstance(setup, error);
    }
    ~Instance() {
        std::lock_guard<std::mutex> lock(mainThread_);
        plugin_.reset();
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    HostedPlugin* get() const { return plugin_.get(); }

private:
    std::mutex& mainThread_;
    std::unique_ptr<HostedPlugin> plugin_;
};

RenderResult runJob(const RenderJob& job, const PluginSetup& setup, std::mutex& mainThread,
                    Slot& slot) {
    RenderResult result;
    result.status = kExitFailure;
    try {
        RenderInputs files;
        if (!openInputs(job, files, result.error)) {
            return result;
        }
        slot.total = files.input->info().frames;
        Instance instance(setup, mainThread, result.error);
        if (instance.get() == nullptr) {
            result.error = "cannot start the plug-in for '" + job.input + "': " + result.error;
            return result;
        }
        return renderFile(job, files, *instance.get(), setup.settings, &mainThread,
                          [&slot](std::int64_t done) { slot.done = done; });
    } catch (const std::bad_alloc&) {
        result.error = "out of memory while rendering '" + job.input + "'";
    }
    return result;
}

// Each line of the table names its file; most messages do already.
std::string namingTheFile(const RenderJob& job, const std::string& error) {
    if (error.find(job.input) != std::string::npos) {
        return error;
    }
    return job.input + ": " + error;
}

void printTable(const std::vector<RenderJob>& jobs, const std::vector<Slot>& slots,
                double seconds) {
    std::vector<std::array<std::string, 6>> rows = {
        {"File", "Result", "Length", "Input peak", "Output peak", "Gate open"}};
    int done = 0;
    int failed = 0;
    double audio = 0.0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const RenderResult& r = slots[i].result;
        if (slots[i].stage != Stage::Finished) {
            rows.push_back({jobs[i].input, "not started", "", "", "", ""});
            continue;
        }
        if (r.status != kExitDone) {
            const bool stopped = r.status != kExitFailure;
            failed += stopped ? 0 : 1;
            rows.push_back({jobs[i].input, stopped ? "interrupted" : "failed", "", "", "", ""});
            continue;
        }
        ++done;
        const double length = double(r.frames) / r.info.sampleRate;
        audio += length;
        rows.push_back(
            {jobs[i].input, "done", fixed(length, 3) + " s", dbfsText(r.input.peak()),
             dbfsText(r.output.peak()),
             fixed(r.frames > 0 ? 100.0 * double(r.openFrames) / double(r.frames) : 0.0, 1) +
                 " %"});
    }
    std::array<std::size_t, 6> width{};
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Numbers line up on the right, names and results on the left.
            const std::string pad(width[c] - row[c].size(), ' ');
            line += (c == 0 ? "" : "  ") + (c < 2 ? row[c] + pad : pad + row[c]);
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::printf("%s\n", line.c_str());
    }
    std::printf("%zu files: %d done, %d failed; %s s of audio in %s s (%sx real time)\n",
                jobs.size(), done, failed, fixed(audio, 1).c_str(), fixed(seconds, 1).c_str(),
                fixed(seconds > 0.0 ? audio / seconds : 0.0, 1).c_str());
}

} // namespace

std::unique_ptr<HostedPlugin> makeInstance(const PluginSetup& setup, std::string& error) {
    auto plugin = HostedPlugin::create(setup.module, error, setup.hostOptions);
    if (!plugin) {
        return nullptr;
    }
    if (!setup.state.empty() && !plugin->setState(setup.state, error)) {
        return nullptr;
    }
    for (const Setting& s : setup.settings) {
        plugin->setNormalized(s.id, s.value);
    }
    return plugin;
}

std::vector<RenderJob> batchJobs(const Options& options) {
    const std::filesystem::path dir = options.outputDir;
    std::vector<RenderJob> jobs;
    for (const std::string& input : options.inputs) {
        const std::filesystem::path in = input;
        RenderJob job;
        job.input = input;
        job.output = (dir / in.filename()).string();
        job.sidechain = options.sidechain;
        if (!options.meters.empty()) {
            job.meters = (std::filesystem::path(options.meters) / in.stem()).string() + ".csv";
        }
        if (!options.plot.empty()) {
            job.plot = (std::filesystem::path(options.plot) / in.stem()).string() + ".png";
        }
        job.blockSize = options.blockSize;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<NamedPath> batchInputs(const Options& options) {
    std::vector<NamedPath> inputs;
    for (const std::string& input : options.inputs) {
        inputs.push_back({"the input", input});
    }
    if (!options.sidechain.empty()) {
        inputs.push_back({"the side-chain", options.sidechain});
    }
    if (!options.state.empty()) {
        inputs.push_back({"the state file", options.state});
    }
    return inputs;
}

std::vector<NamedPath> batchOutputs(const Options& options, const std::vector<RenderJob>& jobs) {
    std::vector<NamedPath> outputs;
    for (const RenderJob& job : jobs) {
        outputs.push_back({"the output", job.output});
        if (!job.meters.empty()) {
            outputs.push_back({"--meters", job.meters});
        }
        if (!job.plot.empty()) {
            outputs.push_back({"--plot", job.plot});
        }
    }
    if (!options.saveState.empty()) {
        outputs.push_back({"--save-state", options.saveState});
    }
    return outputs;
}

int runBatch(const std::vector<RenderJob>& jobs, const PluginSetup& setup, int workers,
             bool quiet) {
    if (jobs.empty()) {
        return kExitDone;
    }
    const auto started = std::chrono::steady_clock::now();
    std::vector<Slot> slots(jobs.size());
    // Set-up and teardown of every instance, one at a time, as a host's
    // main thread makes them; only the processing runs side by side.
    std::mutex mainThread;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;
    int running = std::clamp<int>(workers, 1, static_cast<int>(jobs.size()));

    std::vector<std::thread> threads;
    for (int w = running; w > 0; --w) {
        threads.emplace_back([&] {
            for (;;) {
                std::size_t i = 0;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    if (next == jobs.size() || interruptSignal() != 0) {
                        break;
                    }
                    i = next++;
                    slots[i].stage = Stage::Running;
                }
                RenderResult result = runJob(jobs[i], setup, mainThread, slots[i]);
                std::lock_guard<std::mutex> hold(lock);
                slots[i].result = std::move(result);
                slots[i].stage = Stage::Finished;
                changed.notify_all();
            }
            std::lock_guard<std::mutex> hold(lock);
            --running;
            changed.notify_all();
        });
    }

    BatchProgressBar bar(!quiet);
    int finished = 0;
    for (bool end = false; !end;) {
        std::vector<std::size_t> fresh;
        double share = 0.0;
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait_for(hold, std::chrono::milliseconds(200));
            for (std::size_t i = 0; i < slots.size(); ++i) {
                Slot& s = slots[i];
                if (s.stage == Stage::Finished && !s.reported) {
                    s.reported = true;
                    fresh.push_back(i);
                }
                const std::int64_t total = s.total;
                share += s.stage == Stage::Finished ? 1.0
                         : s.stage == Stage::Running && total > 0
                             ? std::min(1.0, double(s.done) / double(total))
                             : 0.0;
            }
            end = running == 0;
        }
        if (!fresh.empty()) {
            bar.clear();
        }
        for (std::size_t i : fresh) {
            const RenderResult& r = slots[i].result;
            ++finished;
            if (r.status == kExitFailure) {
                printError(namingTheFile(jobs[i], r.error));
                continue;
            }
            for (const auto& warning : {formatWarning(r), clippingWarning(r)}) {
                if (warning) {
                    printWarning(jobs[i].input + ": " + *warning);
                }
            }
        }
        std::fflush(stderr);
        bar.update(share / double(jobs.size()), finished, static_cast<int>(jobs.size()));
    }
    for (std::thread& t : threads) {
        t.join();
    }
    bar.clear();

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!quiet) {
        printTable(jobs, slots, seconds);
    }
    if (const int signal = interruptSignal(); signal != 0) {
        const auto written = std::count_if(slots.begin(), slots.end(), [](const Slot& s) {
            return s.stage == Stage::Finished && s.result.status == kExitDone;
        });
        printError("interrupted; " + std::to_string(written) + " of " +
                   std::to_string(jobs.size()) + " files written");
        return interruptedExitCode(signal);
    }
    const bool anyFailed = std::any_of(slots.begin(), slots.end(),
                                       [](const Slot& s) { return s.result.status != kExitDone; });
    return anyFailed ? kExitFailure : kExitDone;
}

int availableCores() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof(cpus), &cpus) == 0) {
        return std::max(1, CPU_COUNT(&cpus));
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

} // namespace velmora::host
