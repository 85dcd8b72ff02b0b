// Draws the editor's images as PNG files.
#include "images/Images.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

int usage(const char* message) {
    if (message != nullptr) {
        std::fprintf(stderr, "velmora-draw-images: %s\n", message);
    }
    std::fprintf(message ? stderr : stdout,
                 "Usage: velmora-draw-images --version X.Y.Z --out-dir DIR [FILE.png...]\n"
                 "Draws the editor's images (all of them, or the files named) into DIR.\n");
    return message ? 2 : 0;
}

// Written beside the target and renamed over it, so a failed run never
// leaves a half-written image for the build to embed.
bool writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    return !error;
}

int run(const std::string& version, const std::filesystem::path& outDir,
        const std::vector<std::string>& names) {
    using namespace velmora::images;
    if (const std::string problem = checkFaces(); !problem.empty()) {
        std::fprintf(stderr, "velmora-draw-images: %s\n", problem.c_str());
        return 1;
    }
    std::vector<const Image*> wanted;
    for (const std::string& name : names) {
        const Image* image = findImage(name);
        if (image == nullptr) {
            std::fprintf(stderr, "velmora-draw-images: no image is called '%s'\n", name.c_str());
            return 2;
        }
        wanted.push_back(image);
    }
    if (names.empty()) {
        for (const Image& image : editorImages()) {
            wanted.push_back(&image);
        }
    }

    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    Product product;
    product.version = version;
    for (const Image* image : wanted) {
        Canvas canvas(image->width, image->height);
        image->draw(canvas, product);
        const std::filesystem::path path = outDir / image->fileName;
        if (!writeFile(path, canvas.encodePng())) {
            std::fprintf(stderr, "velmora-draw-images: cannot write '%s'\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string version;
    const char* outDir = nullptr;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return usage(nullptr);
        }
        const bool isVersion = std::strcmp(argv[i], "--version") == 0;
        if (isVersion || std::strcmp(argv[i], "--out-dir") == 0) {
            if (i + 1 >= argc) {
                return usage((std::string(argv[i]) + " needs a value").c_str());
            }
            if (isVersion) {
                version = argv[++i];
            } else {
                outDir = argv[++i];
            }
        } else if (argv[i][0] != '-') {
            names.emplace_back(argv[i]);
        } else {
            return usage((std::string("unexpected argument '") + argv[i] + "'").c_str());
        }
    }
    if (version.empty()) {
        return usage("no --version given");
    }
    if (outDir == nullptr) {
        return usage("no --out-dir given");
    }

    int status = 1;
    try {
        status = run(version, outDir, names);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-draw-images: %s\n", e.what());
    }
    velmora::images::releaseFonts();
    return status;
}
