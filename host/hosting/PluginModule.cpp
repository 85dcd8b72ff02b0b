#include "hosting/PluginModule.h"

#include <dlfcn.h>

#include <cstring>
#include <system_error>

namespace velmora::host {

// '\'' + text, not "'" + text: with a one-character string literal in front
// of a temporary std::string, GCC 12 at -O3 reports a bogus -Wrestrict inside
// libstdc++ (GCC bug 105329); a char takes another path.

using namespace Steinberg;

namespace {

using GetFactoryProc = IPluginFactory*(PLUGIN_API*)();
using ModuleEntryProc = bool (*)(void*);
using ModuleExitProc = bool (*)();

std::string fixedText(const char* text, std::size_t size) {
    return std::string(text, strnlen(text, size));
}

} // namespace

std::filesystem::path PluginModule::libraryPath(const std::filesystem::path& bundleOrLibrary) {
    std::error_code ec;
    if (!std::filesystem::is_directory(bundleOrLibrary, ec)) {
        return bundleOrLibrary;
    }
    std::filesystem::path bundle = bundleOrLibrary;
    if (!bundle.has_filename()) {
        bundle = bundle.parent_path();
    }
    const std::filesystem::path dir = bundle / "Contents" / "x86_64-linux";
    const std::filesystem::path named = dir / (bundle.stem().string() + ".so");
    if (std::filesystem::exists(named, ec)) {
        return named;
    }
    // A bundle renamed after it was built still holds one library.
    std::filesystem::path only;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() == ".so") {
            only = entry.path();
            ++count;
        }
    }
    return count == 1 ? only : named;
}

std::shared_ptr<PluginModule> PluginModule::load(const std::filesystem::path& path,
                                                 std::string& error) {
    const std::filesystem::path library = libraryPath(path);
    std::error_code ec;
    if (!std::filesystem::exists(library, ec)) {
        error = "no plug-in library at '" + library.string() + "'";
        return nullptr;
    }

    std::shared_ptr<PluginModule> module(new PluginModule());
    module->path_ = path;
    dlerror();
    module->handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module->handle_ == nullptr) {
        const char* why = dlerror();
        error = std::string("cannot load '") + library.string() + "': " + (why ? why : "unknown");
        return nullptr;
    }

    auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(module->handle_, "GetPluginFactory"));
    if (getFactory == nullptr) {
        error = '\'' + library.string() + "' is not a VST 3 plug-in (no GetPluginFactory)";
        return nullptr;
    }
    if (auto entry = reinterpret_cast<ModuleEntryProc>(dlsym(module->handle_, "ModuleEntry"))) {
        if (!entry(module->handle_)) {
            error = '\'' + library.string() + "' refused ModuleEntry";
            return nullptr;
        }
        module->entered_ = true;
    }
    module->factory_ = getFactory();
    if (module->factory_ == nullptr) {
        error = '\'' + library.string() + "' returned no plug-in factory";
        return nullptr;
    }
    return module;
}

PluginModule::~PluginModule() {
    if (factory_ != nullptr) {
        factory_->release();
        factory_ = nullptr;
    }
    if (handle_ != nullptr) {
        if (entered_) {
            if (auto exitProc = reinterpret_cast<ModuleExitProc>(dlsym(handle_, "ModuleExit"))) {
                exitProc();
            }
        }
        dlclose(handle_);
    }
}

std::string PluginModule::vendor() const {
    PFactoryInfo info{};
    if (factory_ == nullptr || factory_->getFactoryInfo(&info) != kResultOk) {
        return {};
    }
    return fixedText(info.vendor, sizeof(info.vendor));
}

std::vector<ClassEntry> PluginModule::classes() const {
    std::vector<ClassEntry> out;
    if (factory_ == nullptr) {
        return out;
    }
    const int32 n = factory_->countClasses();
    for (int32 i = 0; i < n; ++i) {
        PClassInfo info{};
        if (factory_->getClassInfo(i, &info) != kResultOk) {
            continue;
        }
        ClassEntry e;
        std::memcpy(e.cid, info.cid, sizeof(TUID));
        e.category = fixedText(info.category, sizeof(info.category));
        e.name = fixedText(info.name, sizeof(info.name));
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace velmora::host
