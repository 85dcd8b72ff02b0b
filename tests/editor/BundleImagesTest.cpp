// The plug-in file itself holds every image byte for byte, so a host that
// loads a copy of the .so alone still gets the editor's images.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BundleImages, TheSharedObjectHoldsEveryListedImage) {
    const std::string module = readFile(VELMORA_BUNDLE_SO);
    ASSERT_FALSE(module.empty());
    std::ifstream list(VELMORA_IMAGE_LIST);
    std::string name;
    int images = 0;
    while (std::getline(list, name)) {
        if (name.empty() || name[0] == '#') {
            continue;
        }
        const std::string png = readFile(std::string(VELMORA_IMAGE_DIR) + "/" + name);
        ASSERT_FALSE(png.empty()) << name;
        EXPECT_NE(module.find(png), std::string::npos) << name;
        ++images;
    }
    EXPECT_EQ(images, 17);
}

} // namespace
