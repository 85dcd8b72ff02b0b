#include "hosting/ByteStream.h"
#include "hosting/Utf16.h"

#include "pluginterfaces/base/smartpointer.h"

#include <gtest/gtest.h>

namespace velmora::host {
namespace {

using namespace Steinberg;

TEST(ByteStream, ReadsWhatIsThereAndFailsAtTheEnd) {
    IPtr<ByteStream> s = owned(new ByteStream(std::vector<char>{1, 2, 3, 4, 5, 6}));
    char buffer[4] = {};
    int32 got = -1;
    ASSERT_EQ(s->read(buffer, 4, &got), kResultOk);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(buffer[3], 4);
    // A short read delivers the rest...
    ASSERT_EQ(s->read(buffer, 4, &got), kResultOk);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(buffer[1], 6);
    // ...and a read at the end reports failure, so truncated state shows.
    EXPECT_EQ(s->read(buffer, 4, &got), kResultFalse);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(s->read(buffer, 0, &got), kResultOk);

    int64 pos = -1;
    ASSERT_EQ(s->seek(-2, IBStream::kIBSeekEnd, &pos), kResultOk);
    EXPECT_EQ(pos, 4);
    ASSERT_EQ(s->seek(1, IBStream::kIBSeekCur, &pos), kResultOk);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(s->seek(-9, IBStream::kIBSeekSet, &pos), kInvalidArgument);
    ASSERT_EQ(s->tell(&pos), kResultOk);
    EXPECT_EQ(pos, 5);
}

TEST(ByteStream, WritesGrowTheBuffer) {
    IPtr<ByteStream> s = owned(new ByteStream());
    char data[] = {'a', 'b', 'c'};
    int32 written = 0;
    ASSERT_EQ(s->write(data, 3, &written), kResultOk);
    EXPECT_EQ(written, 3);
    ASSERT_EQ(s->seek(1, IBStream::kIBSeekSet, nullptr), kResultOk);
    ASSERT_EQ(s->write(data, 3, nullptr), kResultOk);
    EXPECT_EQ(std::string(s->bytes().begin(), s->bytes().end()), "aabc");
    // Writing past the end leaves zeros in the gap.
    ASSERT_EQ(s->seek(6, IBStream::kIBSeekSet, nullptr), kResultOk);
    ASSERT_EQ(s->write(data, 1, nullptr), kResultOk);
    EXPECT_EQ(s->bytes(), (std::vector<char>{'a', 'a', 'b', 'c', 0, 0, 'a'}));

    void* obj = nullptr;
    ASSERT_EQ(s->queryInterface(IBStream::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IBStream*>(s.get()));
    s->release();
}

TEST(Utf16, RoundTripsAndReplacesBrokenSequences) {
    for (const std::string& text :
         {std::string(""), std::string("Threshold"), std::string("1,5 ms"),
          std::string("\xC2\xB5s"), std::string("\xE2\x86\x92 out"),
          std::string("\xF0\x9F\xA5\x81 drum")}) {
        EXPECT_EQ(toUtf8(toUtf16(text)), text);
    }
    EXPECT_EQ(toUtf16("\xF0\x9F\xA5\x81").size(), 2u); // a surrogate pair
    EXPECT_EQ(toUtf16("a\xFF"), (std::u16string{u'a', u'\xFFFD'}));
    EXPECT_EQ(toUtf8(std::u16string{u'x', static_cast<char16_t>(0xD800)}), "x\xEF\xBF\xBD");
    const char16_t fixed[4] = {u'a', u'b', u'c', u'd'};
    EXPECT_EQ(toUtf8(fixed, 3), "abc"); // stops at the field's size without a terminator
    EXPECT_EQ(toUtf8(nullptr, 3), "");
}

} // namespace
} // namespace velmora::host
