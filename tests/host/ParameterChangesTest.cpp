#include "hosting/ParameterChanges.h"

#include <gtest/gtest.h>

namespace velmora::host {
namespace {

using Steinberg::int32;
using Steinberg::kResultFalse;
using Steinberg::kResultTrue;
using Steinberg::Vst::ParamValue;

TEST(ParamValueQueue, KeepsPointsInOffsetOrderAndReplacesEqualOffsets) {
    ParamValueQueue q(4);
    q.reset(8);
    int32 index = -1;
    ASSERT_EQ(q.addPoint(100, 0.5, index), kResultTrue);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(q.addPoint(10, 0.1, index), kResultTrue);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(q.addPoint(50, 0.3, index), kResultTrue);
    EXPECT_EQ(index, 1);
    // Same offset: the value is replaced, no point is added.
    ASSERT_EQ(q.addPoint(50, 0.35, index), kResultTrue);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(q.getPointCount(), 3);

    const int32 offsets[] = {10, 50, 100};
    const ParamValue values[] = {0.1, 0.35, 0.5};
    for (int32 i = 0; i < 3; ++i) {
        int32 offset = -1;
        ParamValue value = -1.0;
        ASSERT_EQ(q.getPoint(i, offset, value), kResultTrue);
        EXPECT_EQ(offset, offsets[i]);
        EXPECT_DOUBLE_EQ(value, values[i]);
    }
    int32 offset = 0;
    ParamValue value = 0.0;
    EXPECT_EQ(q.getPoint(3, offset, value), kResultFalse);
    EXPECT_EQ(q.getPoint(-1, offset, value), kResultFalse);
    ASSERT_TRUE(q.lastValue(value));
    EXPECT_DOUBLE_EQ(value, 0.5);
    EXPECT_EQ(q.getParameterId(), 8u);

    // Full: a fourth point fits, a fifth is refused, a replacement still works.
    ASSERT_EQ(q.addPoint(200, 0.9, index), kResultTrue);
    EXPECT_EQ(q.addPoint(300, 1.0, index), kResultFalse);
    EXPECT_EQ(q.addPoint(200, 0.8, index), kResultTrue);
    EXPECT_EQ(q.getPointCount(), 4);

    q.reset(9);
    EXPECT_EQ(q.getPointCount(), 0);
    EXPECT_EQ(q.getParameterId(), 9u);
    EXPECT_FALSE(q.lastValue(value));
}

TEST(ParameterChanges, HandsOutOneQueuePerParameterWithinCapacity) {
    ParameterChanges changes(2, 8);
    int32 index = -1;
    auto* a = changes.addParameterData(31, index);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(index, 0);
    auto* b = changes.addParameterData(32, index);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(index, 1);
    // Asking again for a parameter gives its existing queue.
    EXPECT_EQ(changes.addParameterData(31, index), a);
    EXPECT_EQ(index, 0);
    // No room for a third parameter.
    EXPECT_EQ(changes.addParameterData(33, index), nullptr);
    EXPECT_EQ(changes.getParameterCount(), 2);
    EXPECT_EQ(changes.getParameterData(1), b);
    EXPECT_EQ(changes.getParameterData(2), nullptr);
    EXPECT_EQ(changes.getParameterData(-1), nullptr);

    EXPECT_TRUE(changes.addChange(32, 0, 0.25));
    EXPECT_TRUE(changes.addChange(32, 64, 0.75));
    ParamValue v = 0.0;
    ASSERT_TRUE(changes.lastValue(32, v));
    EXPECT_DOUBLE_EQ(v, 0.75);
    EXPECT_FALSE(changes.lastValue(31, v)); // queue exists but is empty
    EXPECT_FALSE(changes.lastValue(40, v));
    EXPECT_FALSE(changes.addChange(40, 0, 1.0));

    // Cleared lists start over with fresh, empty queues.
    changes.clear();
    EXPECT_EQ(changes.getParameterCount(), 0);
    EXPECT_EQ(changes.find(32), nullptr);
    auto* again = changes.addParameterData(7, index);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->getParameterId(), 7u);
    EXPECT_EQ(again->getPointCount(), 0);
}

TEST(ParameterChanges, AnswersItsOwnInterfacesOnly) {
    ParameterChanges changes;
    void* obj = nullptr;
    EXPECT_EQ(changes.queryInterface(Steinberg::Vst::IParameterChanges::iid, &obj),
              Steinberg::kResultOk);
    EXPECT_EQ(obj, static_cast<Steinberg::Vst::IParameterChanges*>(&changes));
    EXPECT_EQ(changes.queryInterface(Steinberg::Vst::IParamValueQueue::iid, &obj),
              Steinberg::kNoInterface);
    EXPECT_EQ(obj, nullptr);

    ParamValueQueue q;
    EXPECT_EQ(q.queryInterface(Steinberg::FUnknown::iid, &obj), Steinberg::kResultOk);
    EXPECT_EQ(obj, static_cast<Steinberg::Vst::IParamValueQueue*>(&q));
}

} // namespace
} // namespace velmora::host
