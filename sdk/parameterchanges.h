// Parameter changes as a host hands them to a processor with every block: one
// queue per parameter and the list of queues. Our hosts use them, and so does
// the plug-in's VST 2 adapter, which plays the host for its VST 3 processor.
// All storage is reserved up front, so filling and reading them during
// processing never allocates.
#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>
#include <vector>

namespace velmora {

class ParamValueQueue final : public Steinberg::Vst::IParamValueQueue {
public:
    explicit ParamValueQueue(std::int32_t capacity = 64);

    // Empties the queue and gives it to another parameter.
    void reset(Steinberg::Vst::ParamID id);
    std::int32_t capacity() const { return static_cast<std::int32_t>(points_.size()); }

    // The value of the last point; false when the queue is empty.
    bool lastValue(Steinberg::Vst::ParamValue& value) const;

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return count_; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    // Keeps the points ordered by offset; a second point at the same offset
    // replaces the first. Refuses when the queue is full.
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                           Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

    // Queues live inside their ParameterChanges; reference counting does not
    // decide their lifetime.
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    struct Point {
        Steinberg::int32 offset = 0;
        Steinberg::Vst::ParamValue value = 0.0;
    };
    std::vector<Point> points_;
    std::int32_t count_ = 0;
    Steinberg::Vst::ParamID id_ = 0;
};

class ParameterChanges final : public Steinberg::Vst::IParameterChanges {
public:
    ParameterChanges(std::int32_t maxQueues = 64, std::int32_t pointsPerQueue = 64);

    // Forgets every queue; the storage stays.
    void clear() { used_ = 0; }
    std::int32_t capacity() const { return static_cast<std::int32_t>(queues_.size()); }
    std::int32_t count() const { return used_; }

    // Adds a point for the parameter, creating its queue if needed. False when
    // the list or the queue is full.
    bool addChange(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset,
                   Steinberg::Vst::ParamValue value);

    // The queue for the parameter, or null when the list has none.
    ParamValueQueue* find(Steinberg::Vst::ParamID id);
    const ParamValueQueue* find(Steinberg::Vst::ParamID id) const;

    // The last point of the parameter's queue; false when there is none.
    bool lastValue(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue& value) const;

    Steinberg::int32 PLUGIN_API getParameterCount() override { return used_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    // Hands out the existing queue when the parameter already has one.
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    std::vector<ParamValueQueue> queues_;
    std::int32_t used_ = 0;
};

} // namespace velmora
