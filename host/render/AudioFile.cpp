#include "render/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::host {

// '\'' + text, not "'" + text: with a one-character string literal in front
// of a temporary std::string, GCC 12 at -O3 reports a bogus -Wrestrict inside
// libstdc++ (GCC bug 105329); a char takes another path.

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

const char* containerName(int container) {
    switch (container) {
    case SF_FORMAT_WAV:
        return "WAV";
    case SF_FORMAT_WAVEX:
        return "WAV (extensible)";
    case SF_FORMAT_RF64:
        return "RF64";
    case SF_FORMAT_AIFF:
        return "AIFF";
    case SF_FORMAT_FLAC:
        return "FLAC";
    default:
        return nullptr;
    }
}

} // namespace

std::string describeFormat(int format) {
    const int container = format & SF_FORMAT_TYPEMASK;
    std::string text;
    if (const char* name = containerName(container)) {
        text = name;
    } else {
        text = "an unknown format";
        int count = 0;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
        for (int i = 0; i < count; ++i) {
            SF_FORMAT_INFO major{};
            major.format = i;
            if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &major, sizeof(major)) == 0 &&
                major.format == container && major.name != nullptr) {
                text = major.name;
                break;
            }
        }
    }
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return text + ", 8-bit PCM";
    case SF_FORMAT_PCM_16:
        return text + ", 16-bit PCM";
    case SF_FORMAT_PCM_24:
        return text + ", 24-bit PCM";
    case SF_FORMAT_PCM_32:
        return text + ", 32-bit PCM";
    case SF_FORMAT_FLOAT:
        return text + ", 32-bit float";
    case SF_FORMAT_DOUBLE:
        return text + ", 64-bit float";
    default:
        break;
    }
    SF_FORMAT_INFO sub{};
    sub.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &sub, sizeof(sub)) == 0 && sub.name != nullptr) {
        return text + ", " + sub.name;
    }
    return text;
}

bool isSupportedContainer(int format) {
    return containerName(format & SF_FORMAT_TYPEMASK) != nullptr;
}

bool isFloatEncoding(int format) {
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

int outputFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_NMS_ADPCM_16:
    case SF_FORMAT_NMS_ADPCM_24:
    case SF_FORMAT_NMS_ADPCM_32:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        // 16-bit PCM holds every sample these decode to; the byte order
        // goes back to the container's own.
        return (format & SF_FORMAT_TYPEMASK) | SF_FORMAT_PCM_16;
    default:
        return format;
    }
}

std::optional<std::string> extensionMismatch(const std::filesystem::path& path, int format) {
    const std::string ext = lower(path.extension().string());
    const int container = format & SF_FORMAT_TYPEMASK;
    const char* wanted = nullptr;
    bool matches = true;
    if (ext == ".wav" || ext == ".wave") {
        wanted = "WAV";
        matches = container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX ||
                  container == SF_FORMAT_RF64;
    } else if (ext == ".rf64") {
        wanted = "RF64";
        matches = container == SF_FORMAT_RF64;
    } else if (ext == ".flac") {
        wanted = "FLAC";
        matches = container == SF_FORMAT_FLAC;
    } else if (ext == ".aif" || ext == ".aiff" || ext == ".aifc") {
        wanted = "AIFF";
        matches = container == SF_FORMAT_AIFF;
    }
    if (matches || wanted == nullptr) {
        return std::nullopt;
    }
    return '\'' + path.string() + "' names a " + wanted +
           " file, but the output keeps the input's " + describeFormat(format) + " format";
}

bool plausibleFrameCount(std::int64_t frames, std::uintmax_t fileBytes) {
    constexpr std::uintmax_t kMaxFramesPerByte = 65536;
    return frames >= 0 && frames < SF_COUNT_MAX &&
           static_cast<std::uintmax_t>(frames) / kMaxFramesPerByte <= fileBytes;
}

std::unique_ptr<SoundFile> SoundFile::openRead(const std::filesystem::path& path,
                                               std::string& error) {
    // The system's reason (missing, unreadable, a folder) says more than
    // libsndfile's.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path.string() + "': " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    const bool isFolder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    if (isFolder) {
        error = "cannot open '" + path.string() + "': " + std::strerror(EISDIR);
        return nullptr;
    }

    std::unique_ptr<SoundFile> f(new SoundFile());
    f->path_ = path;
    SF_INFO info{};
    f->file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (f->file_ == nullptr) {
        error = "cannot read '" + path.string() + "': not an audio file libsndfile understands (" +
                sf_strerror(nullptr) + ")";
        return nullptr;
    }
    f->info_ = AudioInfo{info.format, info.channels, info.samplerate,
                         plausibleFrameCount(info.frames, static_cast<std::uintmax_t>(st.st_size))
                             ? info.frames
                             : kUnknownFrames};
    if (!isSupportedContainer(info.format)) {
        error = '\'' + path.string() + "' is " + describeFormat(info.format) +
                "; only WAV, FLAC and AIFF files are supported";
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = '\'' + path.string() + "' has no audio channels";
        return nullptr;
    }
    return f;
}

std::unique_ptr<SoundFile> SoundFile::openWrite(const std::filesystem::path& path,
                                                const AudioInfo& info, std::string& error) {
    SF_INFO sfInfo{};
    sfInfo.format = info.format;
    sfInfo.channels = info.channels;
    sfInfo.samplerate = info.sampleRate;
    if (!sf_format_check(&sfInfo)) {
        error = "cannot write " + describeFormat(info.format) + " with " +
                std::to_string(info.channels) + " channels at " + std::to_string(info.sampleRate) +
                " Hz";
        return nullptr;
    }
    std::unique_ptr<SoundFile> f(new SoundFile());
    f->path_ = path;
    f->file_ = sf_open(path.c_str(), SFM_WRITE, &sfInfo);
    if (f->file_ == nullptr) {
        error = "cannot write '" + path.string() + "': " + sf_strerror(nullptr);
        return nullptr;
    }
    f->info_ = info;
    f->info_.frames = 0;
    f->writing_ = true;
    sf_command(f->file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return f;
}

SoundFile::~SoundFile() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::int64_t SoundFile::read(float* interleaved, std::int64_t frames) {
    return sf_readf_float(file_, interleaved, frames);
}

bool SoundFile::write(const float* interleaved, std::int64_t frames) {
    if (isFloatEncoding(info_.format) || frames <= 0) {
        const sf_count_t written = sf_writef_float(file_, interleaved, frames);
        info_.frames += written;
        return written == frames;
    }
    // libsndfile's clipping covers PCM only: its mu-law and A-law encoders
    // look samples beyond full scale up past the end of their tables, so a
    // loud sample comes out as some other, often much quieter, code.
    constexpr std::int64_t kFramesAtOnce = 4096;
    const auto channels = static_cast<std::int64_t>(info_.channels);
    clipped_.resize(static_cast<std::size_t>(std::min(frames, kFramesAtOnce) * channels));
    for (std::int64_t done = 0; done < frames;) {
        const std::int64_t n = std::min(frames - done, kFramesAtOnce);
        const float* from = interleaved + done * channels;
        for (std::int64_t i = 0; i < n * channels; ++i) {
            clipped_[static_cast<std::size_t>(i)] = std::clamp(from[i], -1.0f, 1.0f);
        }
        const sf_count_t written = sf_writef_float(file_, clipped_.data(), n);
        info_.frames += written;
        if (written != n) {
            return false;
        }
        done += n;
    }
    return true;
}

void SoundFile::copyTextsFrom(const SoundFile& other) {
    for (int type = SF_STR_FIRST; type <= SF_STR_LAST; ++type) {
        if (const char* text = sf_get_string(other.file_, type)) {
            sf_set_string(file_, type, text);
        }
    }
}

std::string SoundFile::lastError() const {
    return sf_strerror(file_);
}

bool SoundFile::close(std::string& error) {
    if (file_ == nullptr) {
        return true;
    }
    // libsndfile writes a FLAC file's header with its first frames, so an
    // empty one would be left with no bytes at all, which nothing can open.
    if (writing_ && info_.frames == 0 && (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC) {
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    const int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0) {
        error = "cannot finish '" + path_.string() + "': " + sf_error_number(result);
        return false;
    }
    if (writing_ && !fixOddAiffLength(error)) {
        return false;
    }
    // The FLAC encoder refuses some rates libsndfile lets through (65536 Hz,
    // 424832 Hz); writing frames fails then, but an empty file is left with
    // no bytes at all.
    std::error_code ec;
    if (writing_ && std::filesystem::file_size(path_, ec) == 0 && !ec) {
        error = "cannot write " + describeFormat(info_.format) + " at " +
                std::to_string(info_.sampleRate) + " Hz";
        return false;
    }
    return true;
}

namespace {

std::uint32_t bigEndian32(const unsigned char* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

void putBigEndian32(unsigned char* b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
    }
}

} // namespace

// libsndfile counts the pad byte that ends an odd-sized AIFF sound chunk as
// one more sample: a one-byte encoding with an odd number of samples reads
// back a frame longer than written. The chunk size and the frame count in
// the header are put right here; the pad byte stays where AIFF wants it.
bool SoundFile::fixOddAiffLength(std::string& error) const {
    const int sub = info_.format & SF_FORMAT_SUBMASK;
    const bool oneByte = sub == SF_FORMAT_ULAW || sub == SF_FORMAT_ALAW ||
                         sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8;
    const std::int64_t samples = info_.frames * info_.channels;
    if ((info_.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_AIFF || !oneByte || samples % 2 == 0) {
        return true;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot finish '" + path_.string() + "': " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    unsigned char head[12];
    off_t at = 12;
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) {
        ok = false;
    }
    while (ok) {
        unsigned char chunk[10];
        if (::pread(fd, chunk, sizeof chunk, at) < 8) {
            break;
        }
        const std::uint32_t size = bigEndian32(chunk + 4);
        if (std::memcmp(chunk, "COMM", 4) == 0) {
            // Channels (2 bytes), then the frame count.
            unsigned char frames[4];
            putBigEndian32(frames, static_cast<std::uint32_t>(info_.frames));
            ok = ::pwrite(fd, frames, 4, at + 10) == 4;
        } else if (std::memcmp(chunk, "SSND", 4) == 0 &&
                   size == 8 + static_cast<std::uint64_t>(samples) + 1) {
            // Offset and block size (8 bytes), then the samples.
            unsigned char fixed[4];
            putBigEndian32(fixed, size - 1);
            ok = ::pwrite(fd, fixed, 4, at + 4) == 4;
        }
        at += 8 + static_cast<off_t>(size) + static_cast<off_t>(size & 1u);
    }
    if (::close(fd) != 0 || !ok) {
        error = "cannot finish '" + path_.string() + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace velmora::host
