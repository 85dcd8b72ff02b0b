// An IBStream over a byte vector, for handing state blocks to and from a
// plug-in. A read at the end of the data fails instead of delivering nothing,
// so a truncated state is reported rather than read as zeros.
#pragma once

#include "pluginterfaces/base/ibstream.h"

#include <cstdint>
#include <vector>

namespace velmora::host {

class ByteStream final : public Steinberg::IBStream {
public:
    ByteStream() { FUNKNOWN_CTOR }
    explicit ByteStream(std::vector<char> bytes) : bytes_(std::move(bytes)) { FUNKNOWN_CTOR }
    virtual ~ByteStream() { FUNKNOWN_DTOR }

    const std::vector<char>& bytes() const { return bytes_; }
    std::int64_t position() const { return cursor_; }

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                       Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

    DECLARE_FUNKNOWN_METHODS

private:
    std::vector<char> bytes_;
    std::int64_t cursor_ = 0;
};

} // namespace velmora::host
