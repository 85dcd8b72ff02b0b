// The built bundle, opened as a VST 2 effect and as a VST 3 plug-in.
#pragma once

#include "Vst2TestHost.h"
#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"

#include <gtest/gtest.h>

namespace vst2test {

inline std::unique_ptr<Host> openEffect() {
    std::string error;
    auto host = Host::open(VELMORA_VST2_LIBRARY, error);
    EXPECT_NE(host, nullptr) << error;
    return host;
}

inline std::unique_ptr<velmora::host::HostedPlugin> openVst3() {
    std::string error;
    static auto module = velmora::host::PluginModule::load(VELMORA_VST2_LIBRARY, error);
    velmora::host::HostOptions options;
    options.deliverTextMessages = false;
    auto plugin = module ? velmora::host::HostedPlugin::create(module, error, options) : nullptr;
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

} // namespace vst2test
