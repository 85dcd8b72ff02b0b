// A loaded VST 3 module: the shared library of a bundle, its entry and exit
// calls and its class factory.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmora::host {

struct ClassEntry {
    Steinberg::TUID cid{};
    std::string category;
    std::string name;
};

class PluginModule {
public:
    // Loads a bundle ("Name.vst3" folder) or the shared library inside one.
    // Returns null and fills `error` when the library cannot be loaded, lacks
    // GetPluginFactory, refuses ModuleEntry or yields no factory.
    static std::shared_ptr<PluginModule> load(const std::filesystem::path& path,
                                              std::string& error);

    // The shared library a bundle path stands for: the bundle's
    // Contents/x86_64-linux/<name>.so, or the path itself for a file.
    static std::filesystem::path libraryPath(const std::filesystem::path& bundleOrLibrary);

    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    // Releases the factory, calls ModuleExit and unloads the library.
    ~PluginModule();

    Steinberg::IPluginFactory* factory() const { return factory_; }
    const std::filesystem::path& path() const { return path_; }
    std::string vendor() const;

    // The factory's classes in factory order.
    std::vector<ClassEntry> classes() const;

private:
    PluginModule() = default;

    void* handle_ = nullptr;
    Steinberg::IPluginFactory* factory_ = nullptr;
    bool entered_ = false;
    std::filesystem::path path_;
};

} // namespace velmora::host
