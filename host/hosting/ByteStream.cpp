#include "hosting/ByteStream.h"

#include <algorithm>
#include <cstring>

namespace velmora::host {

using namespace Steinberg;

IMPLEMENT_FUNKNOWN_METHODS(ByteStream, IBStream, IBStream::iid)

tresult PLUGIN_API ByteStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytesRead != nullptr) {
        *numBytesRead = 0;
    }
    if (numBytes < 0 || (numBytes > 0 && buffer == nullptr)) {
        return kInvalidArgument;
    }
    const auto size = static_cast<std::int64_t>(bytes_.size());
    const std::int64_t available = std::max<std::int64_t>(0, size - cursor_);
    if (numBytes > 0 && available == 0) {
        return kResultFalse;
    }
    const auto n = static_cast<int32>(std::min<std::int64_t>(numBytes, available));
    if (n > 0) {
        std::memcpy(buffer, bytes_.data() + cursor_, static_cast<std::size_t>(n));
        cursor_ += n;
    }
    if (numBytesRead != nullptr) {
        *numBytesRead = n;
    }
    return kResultOk;
}

tresult PLUGIN_API ByteStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytesWritten != nullptr) {
        *numBytesWritten = 0;
    }
    if (numBytes < 0 || (numBytes > 0 && buffer == nullptr)) {
        return kInvalidArgument;
    }
    const auto end = static_cast<std::size_t>(cursor_) + static_cast<std::size_t>(numBytes);
    if (end > bytes_.size()) {
        bytes_.resize(end);
    }
    if (numBytes > 0) {
        std::memcpy(bytes_.data() + cursor_, buffer, static_cast<std::size_t>(numBytes));
    }
    cursor_ = static_cast<std::int64_t>(end);
    if (numBytesWritten != nullptr) {
        *numBytesWritten = numBytes;
    }
    return kResultOk;
}

tresult PLUGIN_API ByteStream::seek(int64 pos, int32 mode, int64* result) {
    std::int64_t target = 0;
    switch (mode) {
    case kIBSeekSet:
        target = pos;
        break;
    case kIBSeekCur:
        target = cursor_ + pos;
        break;
    case kIBSeekEnd:
        target = static_cast<std::int64_t>(bytes_.size()) + pos;
        break;
    default:
        return kInvalidArgument;
    }
    if (target < 0) {
        return kInvalidArgument;
    }
    cursor_ = target;
    if (result != nullptr) {
        *result = cursor_;
    }
    return kResultOk;
}

tresult PLUGIN_API ByteStream::tell(int64* pos) {
    if (pos == nullptr) {
        return kInvalidArgument;
    }
    *pos = cursor_;
    return kResultOk;
}

} // namespace velmora::host
