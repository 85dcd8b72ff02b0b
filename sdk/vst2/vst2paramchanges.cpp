#include "sdk/vst2/vst2paramchanges.h"

namespace vst2 {

using namespace Steinberg;
using namespace Steinberg::Vst;

void LastValueChanges::Queue::reset(ParamID id) {
    id_ = id;
    hasPoint_ = false;
}

bool LastValueChanges::Queue::value(ParamValue& v) const {
    if (!hasPoint_) {
        return false;
    }
    v = value_;
    return true;
}

tresult PLUGIN_API LastValueChanges::Queue::getPoint(int32 index, int32& sampleOffset,
                                                     ParamValue& value) {
    if (index != 0 || !hasPoint_) {
        return kResultFalse;
    }
    sampleOffset = offset_;
    value = value_;
    return kResultTrue;
}

tresult PLUGIN_API LastValueChanges::Queue::addPoint(int32 sampleOffset, ParamValue value,
                                                     int32& index) {
    if (!hasPoint_ || sampleOffset >= offset_) {
        offset_ = sampleOffset;
        value_ = value;
        hasPoint_ = true;
    }
    index = 0;
    return kResultTrue;
}

tresult PLUGIN_API LastValueChanges::Queue::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
    QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
    *obj = nullptr;
    return kNoInterface;
}

LastValueChanges::LastValueChanges(int32 capacity)
    : queues_(static_cast<std::size_t>(capacity > 0 ? capacity : 1)) {}

bool LastValueChanges::set(ParamID id, ParamValue value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    int32 point = 0;
    return queue != nullptr && queue->addPoint(0, value, point) == kResultTrue;
}

LastValueChanges::Queue* LastValueChanges::queueAt(int32 index) {
    if (index < 0 || index >= used_) {
        return nullptr;
    }
    return &queues_[static_cast<std::size_t>(index)];
}

IParamValueQueue* PLUGIN_API LastValueChanges::getParameterData(int32 index) {
    return queueAt(index);
}

IParamValueQueue* PLUGIN_API LastValueChanges::addParameterData(const ParamID& id, int32& index) {
    for (int32 i = 0; i < used_; ++i) {
        if (queues_[static_cast<std::size_t>(i)].getParameterId() == id) {
            index = i;
            return &queues_[static_cast<std::size_t>(i)];
        }
    }
    if (used_ >= static_cast<int32>(queues_.size())) {
        return nullptr;
    }
    Queue& q = queues_[static_cast<std::size_t>(used_)];
    q.reset(id);
    index = used_++;
    return &q;
}

tresult PLUGIN_API LastValueChanges::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
    QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
    *obj = nullptr;
    return kNoInterface;
}

} // namespace vst2
