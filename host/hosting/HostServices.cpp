#include "hosting/HostServices.h"

#include "hosting/Utf16.h"

#include <algorithm>

namespace velmora::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API HostContext::getName(String128 name) {
    const std::u16string text = toUtf16(name_);
    const std::size_t n = std::min<std::size_t>(text.size(), 127);
    std::copy_n(text.begin(), n, name);
    name[n] = 0;
    return kResultTrue;
}

IMPLEMENT_FUNKNOWN_METHODS(ComponentHandler, IComponentHandler, IComponentHandler::iid)

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue value) {
    edits_.emplace_back(id, value);
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
    restartFlags_ |= flags;
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(ConnectionProxy, IConnectionPoint, IConnectionPoint::iid)

ConnectionProxy::ConnectionProxy(IConnectionPoint* source) : source_(source) {
    FUNKNOWN_CTOR
    if (source_ != nullptr) {
        source_->addRef();
    }
}

ConnectionProxy::~ConnectionProxy() {
    if (destination_ != nullptr) {
        destination_->release();
    }
    if (source_ != nullptr) {
        source_->release();
    }
    FUNKNOWN_DTOR
}

tresult PLUGIN_API ConnectionProxy::connect(IConnectionPoint* other) {
    if (other == nullptr) {
        return kInvalidArgument;
    }
    if (destination_ != nullptr || source_ == nullptr) {
        return kResultFalse;
    }
    destination_ = other;
    destination_->addRef();
    const tresult result = source_->connect(this);
    if (result != kResultTrue) {
        destination_->release();
        destination_ = nullptr;
    }
    return result;
}

tresult PLUGIN_API ConnectionProxy::disconnect(IConnectionPoint* other) {
    if (other == nullptr || other != destination_) {
        return kInvalidArgument;
    }
    if (source_ != nullptr) {
        source_->disconnect(this);
    }
    destination_->release();
    destination_ = nullptr;
    return kResultTrue;
}

tresult PLUGIN_API ConnectionProxy::notify(IMessage* message) {
    if (destination_ == nullptr) {
        return kResultFalse;
    }
    if (message != nullptr && filter_ && !filter_(*message)) {
        return kResultOk;
    }
    return destination_->notify(message);
}

} // namespace velmora::host
