// Parameter changes as the VST 2 adapter hands them to the processor and
// collects the processor's output values: one point per parameter, the last
// one set, which is all a block's change can carry when the VST 2 host only
// ever sets values. Every queue is reserved up front, so filling and reading
// the list on the audio thread never allocates.
#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <vector>

namespace vst2 {

class LastValueChanges final : public Steinberg::Vst::IParameterChanges {
public:
    explicit LastValueChanges(Steinberg::int32 capacity);

    void clear() { used_ = 0; }
    // Adds the parameter or replaces its value; false when the list is full.
    bool set(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

    Steinberg::int32 PLUGIN_API getParameterCount() override { return used_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

    // Lives inside its owner; reference counting does not decide its lifetime.
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

    class Queue final : public Steinberg::Vst::IParamValueQueue {
    public:
        void reset(Steinberg::Vst::ParamID id);
        // The value of the one point, if the queue has one.
        bool value(Steinberg::Vst::ParamValue& v) const;

        Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
        Steinberg::int32 PLUGIN_API getPointCount() override { return hasPoint_ ? 1 : 0; }
        Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index,
                                               Steinberg::int32& sampleOffset,
                                               Steinberg::Vst::ParamValue& value) override;
        // A later point (by offset) replaces the one held.
        Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                               Steinberg::Vst::ParamValue value,
                                               Steinberg::int32& index) override;

        Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid,
                                                     void** obj) override;
        Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
        Steinberg::uint32 PLUGIN_API release() override { return 1; }

    private:
        Steinberg::Vst::ParamID id_ = 0;
        Steinberg::int32 offset_ = 0;
        Steinberg::Vst::ParamValue value_ = 0.0;
        bool hasPoint_ = false;
    };

    Queue* queueAt(Steinberg::int32 index);

private:
    std::vector<Queue> queues_;
    Steinberg::int32 used_ = 0;
};

} // namespace vst2
