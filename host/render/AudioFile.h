// Audio files through libsndfile: WAV (also WAVE_FORMAT_EXTENSIBLE and RF64),
// FLAC and AIFF, read and written as interleaved 32-bit float frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sf_private_tag;

namespace velmora::host {

struct AudioInfo {
    // libsndfile's format word: container, sample encoding and byte order.
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    // kUnknownFrames when the file does not tell (a streamed FLAC).
    std::int64_t frames = 0;

    bool lengthKnown() const { return frames >= 0; }
};

constexpr std::int64_t kUnknownFrames = -1;

// A frame count from a file header that the file can hold: none is believed
// above 65536 frames per byte of file (no codec packs more), and libsndfile's
// "unknown" (the largest count) never is.
bool plausibleFrameCount(std::int64_t frames, std::uintmax_t fileBytes);

// "WAV, 24-bit PCM" and the like.
std::string describeFormat(int format);
bool isSupportedContainer(int format);
// Float encodings keep levels above 0 dBFS; integer ones clip them.
bool isFloatEncoding(int format);

// The format an output of an input in `format` is written in: the same,
// except for encodings that store whole blocks of frames only (ADPCM, GSM
// 6.10, G.72x, 12-bit DWVW, MPEG), whose last block would add silence to the
// render; those become 16-bit PCM in the same container.
int outputFormat(int format);

// When the file name's extension names another container than `format`
// (out.flac for WAV data), the message saying so.
std::optional<std::string> extensionMismatch(const std::filesystem::path& path, int format);

class SoundFile {
public:
    static std::unique_ptr<SoundFile> openRead(const std::filesystem::path& path,
                                               std::string& error);
    // Writes `info`'s container, encoding, byte order, channels and rate;
    // integer encodings clip instead of wrapping around.
    static std::unique_ptr<SoundFile> openWrite(const std::filesystem::path& path,
                                                const AudioInfo& info, std::string& error);

    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    ~SoundFile();

    const AudioInfo& info() const { return info_; }
    const std::filesystem::path& path() const { return path_; }

    // Reads up to `frames` frames; returns how many were read.
    std::int64_t read(float* interleaved, std::int64_t frames);
    bool write(const float* interleaved, std::int64_t frames);
    // Copies title, artist and the other texts of another file.
    void copyTextsFrom(const SoundFile& other);
    // Finishes the file; false with a message when that fails.
    bool close(std::string& error);
    std::string lastError() const;

private:
    SoundFile() = default;
    bool fixOddAiffLength(std::string& error) const;

    sf_private_tag* file_ = nullptr;
    AudioInfo info_;
    // Samples clipped to full scale on their way to an integer encoding.
    std::vector<float> clipped_;
    bool writing_ = false;
    std::filesystem::path path_;
};

} // namespace velmora::host
