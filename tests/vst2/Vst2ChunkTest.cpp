// Chunks: what a VST 2 host saves in projects and presets.
#include "Vst2Bundle.h"

#include "controller/ParameterIds.h"

#include <gtest/gtest.h>

#include <random>

namespace vst2test {
namespace {

// Every parameter away from its start value.
void setAll(Host& host, float shift) {
    for (std::int32_t i = 0; i < 31; ++i) {
        host.set(i, velmora::isSwitch(static_cast<std::uint32_t>(i))
                        ? static_cast<float>((i + 1) % 2)
                        : 0.05f + 0.9f * static_cast<float>((i * 7) % 31) / 31.0f + shift);
    }
}

std::vector<float> values(Host& host) {
    std::vector<float> v;
    for (std::int32_t i = 0; i < 31; ++i) {
        v.push_back(host.get(i));
    }
    return v;
}

TEST(Vst2Chunk, RoundTripRestoresEveryParameter) {
    auto a = openEffect();
    auto b = openEffect();
    ASSERT_TRUE(a && b);
    // Values set while suspended belong in the chunk as much as those the
    // processor has already seen.
    setAll(*a, 0.0f);
    const std::vector<char> chunk = a->chunk();
    ASSERT_FALSE(chunk.empty());
    ASSERT_EQ(b->setChunk(chunk), 1);
    EXPECT_EQ(values(*b), values(*a));
    EXPECT_EQ(b->chunk(), chunk);

    // While processing too.
    a->resume(48000.0f, 64);
    setAll(*a, 0.01f);
    std::vector<float> buffer(64 * 4, 0.0f);
    float* pins[4] = {&buffer[0], &buffer[64], &buffer[128], &buffer[192]};
    a->effect()->processReplacing(a->effect(), pins, pins, 64);
    ASSERT_EQ(b->setChunk(a->chunk()), 1);
    EXPECT_EQ(values(*b), values(*a));
    a->suspend();
}

TEST(Vst2Chunk, DamagedChunksChangeNothing) {
    auto source = openEffect();
    auto target = openEffect();
    ASSERT_TRUE(source && target);
    setAll(*source, 0.0f);
    const std::vector<char> good = source->chunk();
    setAll(*target, 0.02f);
    const std::vector<char> before = target->chunk();
    const std::vector<float> valuesBefore = values(*target);

    std::vector<std::vector<char>> damaged;
    for (std::size_t n = 0; n < good.size(); n += 7) {
        damaged.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    }
    for (std::size_t i = 0; i < good.size(); i += 3) {
        damaged.push_back(good);
        damaged.back()[i] = static_cast<char>(damaged.back()[i] ^ 0x10);
    }
    auto longer = good;
    longer.push_back(0);
    damaged.push_back(longer);
    std::mt19937 rng(5);
    for (int k = 0; k < 20; ++k) {
        std::vector<char> noise(good.size());
        for (char& c : noise) {
            c = static_cast<char>(rng());
        }
        damaged.push_back(noise);
    }
    for (const auto& chunk : damaged) {
        EXPECT_EQ(target->setChunk(chunk), 0);
    }
    EXPECT_EQ(target->dispatch(SetChunk, 0, 100, nullptr), 0);
    EXPECT_EQ(target->chunk(), before);
    EXPECT_EQ(values(*target), valuesBefore);
}

} // namespace
} // namespace vst2test
