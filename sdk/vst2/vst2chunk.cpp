#include "sdk/vst2/vst2chunk.h"

#include <algorithm>
#include <cstring>

namespace vst2 {
namespace {

constexpr char kMagic[4] = {'B', 'K', 'V', 'c'};

void putLE32(char* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((v >> (8 * i)) & 0xffu);
    }
}

std::uint32_t getLE32(const char* in) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    }
    return v;
}

} // namespace

std::uint32_t crc32(std::span<const char> bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::vector<char> packChunk(std::span<const char> processorState,
                            std::span<const char> controllerState) {
    // Sized once and filled in place: growing it by insert() trips a false
    // -Warray-bounds in GCC 12's vector code at -O3.
    std::vector<char> chunk(kChunkHeaderSize + processorState.size() + controllerState.size());
    std::memcpy(chunk.data(), kMagic, sizeof kMagic);
    putLE32(chunk.data() + 4, kChunkVersion);
    putLE32(chunk.data() + 8, static_cast<std::uint32_t>(processorState.size()));
    putLE32(chunk.data() + 12, static_cast<std::uint32_t>(controllerState.size()));
    const auto blocks =
        std::copy(processorState.begin(), processorState.end(), chunk.begin() + kChunkHeaderSize);
    std::copy(controllerState.begin(), controllerState.end(), blocks);
    putLE32(chunk.data() + 16, crc32(std::span<const char>(chunk).subspan(kChunkHeaderSize)));
    return chunk;
}

bool unpackChunk(std::span<const char> chunk, std::size_t processorSize, std::size_t controllerSize,
                 ChunkBlocks& blocks) {
    if (chunk.size() < kChunkHeaderSize || std::memcmp(chunk.data(), kMagic, sizeof kMagic) != 0) {
        return false;
    }
    // Version 1 is the only one so far; a later version may lay its blocks
    // out differently, so it is refused rather than misread.
    const std::uint32_t version = getLE32(chunk.data() + 4);
    if (version < 1 || version > kChunkVersion) {
        return false;
    }
    const std::uint32_t p = getLE32(chunk.data() + 8);
    const std::uint32_t c = getLE32(chunk.data() + 12);
    if (p != processorSize || c != controllerSize ||
        chunk.size() != kChunkHeaderSize + processorSize + controllerSize) {
        return false;
    }
    const auto payload = chunk.subspan(kChunkHeaderSize);
    if (crc32(payload) != getLE32(chunk.data() + 16)) {
        return false;
    }
    blocks.processorState = payload.first(p);
    blocks.controllerState = payload.subspan(p);
    return true;
}

} // namespace vst2
