// The chunk a VST 2 host stores in its projects and presets: the processor's
// state and the controller's state in one small container of ours.
//
// Layout (integers little-endian):
//   0  4  magic "BKVc"
//   4  4  container version (1)
//   8  4  processor state length P
//  12  4  controller state length C
//  16  4  CRC-32 (IEEE) of the P + C bytes that follow
//  20  P  processor state, as the processor's getState writes it
//  20+P C controller state, as the controller's getState writes it
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vst2 {

constexpr std::uint32_t kChunkVersion = 1;
constexpr std::size_t kChunkHeaderSize = 20;

std::vector<char> packChunk(std::span<const char> processorState,
                            std::span<const char> controllerState);

struct ChunkBlocks {
    std::span<const char> processorState;
    std::span<const char> controllerState;
};

// Reads a chunk whose two blocks have exactly the given sizes, the sizes of
// the states this version writes. False, with `blocks` untouched, for
// anything else: a foreign or truncated chunk, a later container version,
// blocks of other sizes, or bytes that no longer match their checksum.
bool unpackChunk(std::span<const char> chunk, std::size_t processorSize, std::size_t controllerSize,
                 ChunkBlocks& blocks);

std::uint32_t crc32(std::span<const char> bytes);

} // namespace vst2
