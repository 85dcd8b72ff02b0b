#include "sdk/parameterchanges.h"

namespace velmora {

using namespace Steinberg;
using namespace Steinberg::Vst;

ParamValueQueue::ParamValueQueue(std::int32_t capacity)
    : points_(static_cast<std::size_t>(capacity > 0 ? capacity : 1)) {}

void ParamValueQueue::reset(ParamID id) {
    id_ = id;
    count_ = 0;
}

bool ParamValueQueue::lastValue(ParamValue& value) const {
    if (count_ == 0) {
        return false;
    }
    value = points_[static_cast<std::size_t>(count_ - 1)].value;
    return true;
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= count_) {
        return kResultFalse;
    }
    const Point& p = points_[static_cast<std::size_t>(index)];
    sampleOffset = p.offset;
    value = p.value;
    return kResultTrue;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    int32 pos = count_;
    while (pos > 0 && points_[static_cast<std::size_t>(pos - 1)].offset > sampleOffset) {
        --pos;
    }
    if (pos > 0 && points_[static_cast<std::size_t>(pos - 1)].offset == sampleOffset) {
        points_[static_cast<std::size_t>(pos - 1)].value = value;
        index = pos - 1;
        return kResultTrue;
    }
    if (count_ >= capacity()) {
        return kResultFalse;
    }
    for (int32 i = count_; i > pos; --i) {
        points_[static_cast<std::size_t>(i)] = points_[static_cast<std::size_t>(i - 1)];
    }
    points_[static_cast<std::size_t>(pos)] = Point{sampleOffset, value};
    ++count_;
    index = pos;
    return kResultTrue;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
    QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
    *obj = nullptr;
    return kNoInterface;
}

ParameterChanges::ParameterChanges(std::int32_t maxQueues, std::int32_t pointsPerQueue)
    : queues_(static_cast<std::size_t>(maxQueues > 0 ? maxQueues : 1),
              ParamValueQueue(pointsPerQueue)) {}

bool ParameterChanges::addChange(ParamID id, int32 sampleOffset, ParamValue value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    int32 pointIndex = 0;
    return queue != nullptr && queue->addPoint(sampleOffset, value, pointIndex) == kResultTrue;
}

ParamValueQueue* ParameterChanges::find(ParamID id) {
    for (int32 i = 0; i < used_; ++i) {
        ParamValueQueue& q = queues_[static_cast<std::size_t>(i)];
        if (q.getParameterId() == id) {
            return &q;
        }
    }
    return nullptr;
}

const ParamValueQueue* ParameterChanges::find(ParamID id) const {
    return const_cast<ParameterChanges*>(this)->find(id);
}

bool ParameterChanges::lastValue(ParamID id, ParamValue& value) const {
    const ParamValueQueue* q = find(id);
    return q != nullptr && q->lastValue(value);
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
    if (index < 0 || index >= used_) {
        return nullptr;
    }
    return &queues_[static_cast<std::size_t>(index)];
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (int32 i = 0; i < used_; ++i) {
        if (queues_[static_cast<std::size_t>(i)].getParameterId() == id) {
            index = i;
            return &queues_[static_cast<std::size_t>(i)];
        }
    }
    if (used_ >= capacity()) {
        return nullptr;
    }
    ParamValueQueue& q = queues_[static_cast<std::size_t>(used_)];
    q.reset(id);
    index = used_++;
    return &q;
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
    QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
    *obj = nullptr;
    return kNoInterface;
}

} // namespace velmora
