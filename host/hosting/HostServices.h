// What the host hands to a plug-in besides audio: its application context,
// the component handler of the edit controller, and the connection between
// the two halves.
#pragma once

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velmora::host {

class HostContext final : public Steinberg::Vst::HostApplication {
public:
    explicit HostContext(std::string name) : name_(std::move(name)) {}
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;

private:
    std::string name_;
};

// Records what the edit controller reports; an offline host has no user
// interface to update.
class ComponentHandler final : public Steinberg::Vst::IComponentHandler {
public:
    ComponentHandler() { FUNKNOWN_CTOR }
    virtual ~ComponentHandler(){FUNKNOWN_DTOR}

    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

    const std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>>&
    edits() const {
        return edits_;
    }
    Steinberg::int32 restartFlags() const { return restartFlags_; }

    DECLARE_FUNKNOWN_METHODS

private:
    std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> edits_;
    Steinberg::int32 restartFlags_ = 0;
};

// Stands between one half's connection point and the other's, so the host
// sees (and may hold back) the messages the two exchange. The source is
// connected to the proxy, the proxy forwards to the destination.
class ConnectionProxy final : public Steinberg::Vst::IConnectionPoint {
public:
    using Filter = std::function<bool(Steinberg::Vst::IMessage&)>;

    explicit ConnectionProxy(Steinberg::Vst::IConnectionPoint* source);
    virtual ~ConnectionProxy();

    // Messages for which the filter returns false are not delivered.
    void setFilter(Filter filter) { filter_ = std::move(filter); }

    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

    DECLARE_FUNKNOWN_METHODS

private:
    Steinberg::Vst::IConnectionPoint* source_ = nullptr;
    Steinberg::Vst::IConnectionPoint* destination_ = nullptr;
    Filter filter_;
};

} // namespace velmora::host
