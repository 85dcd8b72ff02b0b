#include "render/AudioFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>

namespace velmora::host {
namespace {

using test::TempDir;

std::vector<float> ramp(int frames, int channels) {
    std::vector<float> s(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            s[static_cast<std::size_t>(i * channels + c)] =
                0.8f * std::sin(0.01f * float(i) * float(c + 1));
        }
    }
    return s;
}

struct Case {
    const char* name;
    int format;
    int channels;
    int rate;
    double tolerance; // one step of the encoding
};

// Every format the tool accepts survives a write and a read with its
// container, encoding, byte order, channel count and rate.
TEST(AudioFile, RoundTripsKeepFormatChannelsAndRate) {
    TempDir dir;
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 1.0 / 32768},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 44100, 1.0 / 8388608},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 96000, 0.0},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 1.0 / 128},
        {"ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 4, 48000, 1.0 / 8388608},
        {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 1.0 / 32768},
        {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 3, 32000, 1.0 / 8388608},
        {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 22050, 1.0 / 32768},
        {"little.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 1, 48000,
         1.0 / 8388608},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / c.name;
        const std::vector<float> samples = ramp(1000, c.channels);
        std::string error;
        {
            auto out =
                SoundFile::openWrite(path, AudioInfo{c.format, c.channels, c.rate, 0}, error);
            ASSERT_TRUE(out) << error;
            ASSERT_TRUE(out->write(samples.data(), 1000));
            ASSERT_TRUE(out->close(error)) << error;
        }
        auto in = SoundFile::openRead(path, error);
        ASSERT_TRUE(in) << error;
        EXPECT_EQ(in->info().format, c.format);
        EXPECT_EQ(in->info().channels, c.channels);
        EXPECT_EQ(in->info().sampleRate, c.rate);
        EXPECT_EQ(in->info().frames, 1000);
        std::vector<float> back(samples.size() + static_cast<std::size_t>(c.channels));
        ASSERT_EQ(in->read(back.data(), 1001), 1000);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_NEAR(back[i], samples[i], c.tolerance) << "sample " << i;
        }
        EXPECT_FALSE(extensionMismatch(path, in->info().format));
    }
}

TEST(AudioFile, IntegerEncodingsClipInsteadOfWrapping) {
    TempDir dir;
    std::string error;
    const float loud[] = {1.5f, -1.5f, 0.25f, 1.2f, -4.0f, 1e30f};
    constexpr int kCount = 6;
    // Full scale read back, and the error of 0.25 after encoding.
    const struct {
        const char* name;
        int format;
        float top;
        float tolerance;
    } cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0f, 1e-4f},
        {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1.0f, 1e-4f},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 0.980347f, 0.01f},
        {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 0.984375f, 0.01f},
        {"ulaw.aiff", SF_FORMAT_AIFF | SF_FORMAT_ULAW, 0.980347f, 0.01f},
        {"alaw.aiff", SF_FORMAT_AIFF | SF_FORMAT_ALAW, 0.984375f, 0.01f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            auto out = SoundFile::openWrite(dir / c.name, AudioInfo{c.format, 1, 8000, 0}, error);
            ASSERT_TRUE(out) << error;
            ASSERT_TRUE(out->write(loud, kCount));
            EXPECT_EQ(out->info().frames, kCount);
            ASSERT_TRUE(out->close(error));
        }
        auto in = SoundFile::openRead(dir / c.name, error);
        ASSERT_TRUE(in) << error;
        float back[kCount] = {};
        ASSERT_EQ(in->read(back, kCount), kCount);
        EXPECT_NEAR(back[0], c.top, 1e-4f);
        EXPECT_NEAR(back[1], -c.top, 1e-4f);
        EXPECT_NEAR(back[2], 0.25f, c.tolerance);
        EXPECT_NEAR(back[3], c.top, 1e-4f);
        EXPECT_NEAR(back[4], -c.top, 1e-4f);
        EXPECT_NEAR(back[5], c.top, 1e-4f);
    }
    EXPECT_TRUE(isFloatEncoding(SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    EXPECT_FALSE(isFloatEncoding(SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
}

// AIFF pads a sound chunk of odd size with one byte, which must not come
// back as one more frame.
TEST(AudioFile, OneByteAiffOfOddLengthKeepsItsLength) {
    TempDir dir;
    std::string error;
    for (int sub : {SF_FORMAT_ALAW, SF_FORMAT_ULAW, SF_FORMAT_PCM_S8}) {
        for (auto [channels, frames] : {std::pair{1, 183}, std::pair{3, 5}, std::pair{1, 1},
                                        std::pair{2, 7}, std::pair{1, 0}}) {
            SCOPED_TRACE(testing::Message()
                         << std::hex << sub << std::dec << " " << channels << " x " << frames);
            const auto path = dir / "odd.aiff";
            const std::vector<float> written = ramp(frames, channels);
            {
                auto out = SoundFile::openWrite(
                    path, AudioInfo{SF_FORMAT_AIFF | sub, channels, 22050, 0}, error);
                ASSERT_TRUE(out) << error;
                ASSERT_TRUE(out->write(written.data(), frames));
                ASSERT_TRUE(out->close(error)) << error;
            }
            auto in = SoundFile::openRead(path, error);
            ASSERT_TRUE(in) << error;
            EXPECT_EQ(in->info().frames, frames);
            std::vector<float> back(written.size() + 8, 99.0f);
            ASSERT_EQ(in->read(back.data(), frames + 2), frames);
            for (std::size_t i = 0; i < written.size(); ++i) {
                EXPECT_NEAR(back[i], written[i], 0.02f) << i;
            }
        }
    }
}

// An input without frames gives an output without frames that still opens.
TEST(AudioFile, EmptyFilesOfEveryContainerOpen) {
    TempDir dir;
    std::string error;
    for (int format : {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
                       SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_ULAW,
                       SF_FORMAT_RF64 | SF_FORMAT_FLOAT}) {
        SCOPED_TRACE(format);
        const auto path = dir / "empty";
        {
            auto out = SoundFile::openWrite(path, AudioInfo{format, 2, 44100, 0}, error);
            ASSERT_TRUE(out) << error;
            ASSERT_TRUE(out->close(error)) << error;
        }
        auto in = SoundFile::openRead(path, error);
        ASSERT_TRUE(in) << error;
        EXPECT_EQ(in->info().format, format);
        EXPECT_EQ(in->info().channels, 2);
        float frame[2];
        EXPECT_EQ(in->read(frame, 1), 0);
    }
    // A rate the FLAC encoder refuses is an error, not an empty file.
    auto out = SoundFile::openWrite(
        dir / "odd-rate.flac", AudioInfo{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 65536, 0}, error);
    ASSERT_TRUE(out) << error;
    EXPECT_FALSE(out->close(error));
    EXPECT_NE(error.find("65536 Hz"), std::string::npos) << error;
}

TEST(AudioFile, ReportsFilesItCannotUseByName) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(SoundFile::openRead(dir / "missing.wav", error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos);

    EXPECT_FALSE(SoundFile::openRead(dir.path(), error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos);

    {
        std::ofstream text(dir / "notes.wav");
        text << "not audio at all, just some words in a file\n";
    }
    EXPECT_FALSE(SoundFile::openRead(dir / "notes.wav", error));
    EXPECT_NE(error.find("notes.wav"), std::string::npos);

    // A container libsndfile reads but the tool does not take.
    {
        SF_INFO info{};
        info.format = SF_FORMAT_AU | SF_FORMAT_PCM_16;
        info.channels = 1;
        info.samplerate = 8000;
        SNDFILE* f = sf_open((dir / "sun.au").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        const short zeros[16] = {};
        sf_write_short(f, zeros, 16);
        sf_close(f);
    }
    EXPECT_FALSE(SoundFile::openRead(dir / "sun.au", error));
    EXPECT_NE(error.find("only WAV, FLAC and AIFF"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(AudioFile, OutputNamesMustNotPromiseAnotherContainer) {
    const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    const int flac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    EXPECT_FALSE(extensionMismatch("out.wav", wav));
    EXPECT_FALSE(extensionMismatch("OUT.WAV", wav));
    EXPECT_FALSE(extensionMismatch("out.flac", flac));
    EXPECT_FALSE(extensionMismatch("out.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16));
    EXPECT_FALSE(extensionMismatch("out.raw-gate", wav)); // unknown extensions pass
    EXPECT_FALSE(extensionMismatch("out", wav));
    const auto m = extensionMismatch("out.flac", wav);
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, "'out.flac' names a FLAC file, but the output keeps the input's WAV, 24-bit "
                  "PCM format");
    EXPECT_TRUE(extensionMismatch("out.wav", flac));
    EXPECT_EQ(describeFormat(SF_FORMAT_AIFF | SF_FORMAT_FLOAT), "AIFF, 32-bit float");
}

TEST(AudioFile, FrameCountsBeyondWhatAFileHoldsAreUnknown) {
    EXPECT_TRUE(plausibleFrameCount(0, 44));
    EXPECT_TRUE(plausibleFrameCount(65536 * 100 + 65535, 100));
    EXPECT_FALSE(plausibleFrameCount(65536 * 101, 100));
    EXPECT_FALSE(
        plausibleFrameCount(SF_COUNT_MAX, std::uintmax_t{1} << 40)); // libsndfile's "unknown"
    EXPECT_FALSE(plausibleFrameCount(-1, 100));
}

} // namespace
} // namespace velmora::host
