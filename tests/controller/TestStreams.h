// Minimal IBStream implementations for exercising state readers and writers:
// a byte buffer that can be told to report errors, or to stop delivering
// bytes while still reporting success.
#pragma once

#include "pluginterfaces/base/ibstream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

class TestStream : public Steinberg::IBStream {
public:
    TestStream() = default;
    explicit TestStream(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {}

    std::vector<std::uint8_t> data;
    std::size_t readPos = 0;
    // Reads from this byte offset on report an error.
    std::size_t failReadsFrom = SIZE_MAX;
    // Writes report an error once this many calls have succeeded.
    int writesBeforeFailure = INT32_MAX;

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override {
        if (readPos >= failReadsFrom) {
            return Steinberg::kResultFalse;
        }
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(numBytes), data.size() - readPos);
        if (n > 0) {
            std::memcpy(buffer, data.data() + readPos, n);
        }
        readPos += n;
        if (numBytesRead) {
            *numBytesRead = static_cast<Steinberg::int32>(n);
        }
        return Steinberg::kResultOk;
    }

    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override {
        if (writesBeforeFailure <= 0) {
            return Steinberg::kResultFalse;
        }
        --writesBeforeFailure;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + numBytes);
        if (numBytesWritten) {
            *numBytesWritten = numBytes;
        }
        return Steinberg::kResultOk;
    }

    Steinberg::tresult PLUGIN_API seek(Steinberg::int64, Steinberg::int32,
                                       Steinberg::int64*) override {
        return Steinberg::kNotImplemented;
    }
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override {
        if (pos) {
            *pos = static_cast<Steinberg::int64>(readPos);
        }
        return Steinberg::kResultOk;
    }

    // Lives on the test's stack: no reference counting.
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};
