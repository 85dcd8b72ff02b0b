#include "render/PendingFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace velmora::host {
namespace {

using test::TempDir;

std::string contents(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PendingFile, TargetAppearsOnlyOnCommit) {
    TempDir dir;
    const auto target = dir / "out.wav";
    std::string error;
    auto file = PendingFile::create(target, error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->temporary().parent_path(), dir.path());
    EXPECT_TRUE(std::filesystem::exists(file->temporary()));
    EXPECT_FALSE(std::filesystem::exists(target));
    std::ofstream(file->temporary()) << "complete";
    ASSERT_TRUE(file->commit(error)) << error;
    EXPECT_EQ(contents(target), "complete");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
    // Committing twice is refused.
    EXPECT_FALSE(file->commit(error));
}

TEST(PendingFile, UncommittedFilesVanishAndLeaveTheOldTargetAlone) {
    TempDir dir;
    const auto target = dir / "out.wav";
    std::ofstream(target) << "previous";
    std::string error;
    {
        auto file = PendingFile::create(target, error);
        ASSERT_TRUE(file) << error;
        std::ofstream(file->temporary()) << "half";
        auto second = PendingFile::create(target, error);
        ASSERT_TRUE(second) << error;
        EXPECT_NE(second->temporary(), file->temporary());
        EXPECT_EQ(dir.entries().size(), 3u);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.wav"});
    EXPECT_EQ(contents(target), "previous");
}

TEST(PendingFile, ReportsUnwritableTargets) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(PendingFile::create(dir / "no-such-folder" / "out.wav", error));
    EXPECT_NE(error.find("no-such-folder/out.wav"), std::string::npos);
    EXPECT_NE(error.find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(PendingFile::create(dir.path(), error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos);
    EXPECT_TRUE(dir.entries().empty());
}

TEST(PendingFile, WorksWithABareFileName) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::string error;
    {
        auto file = PendingFile::create("bare.csv", error);
        ASSERT_TRUE(file) << error;
        EXPECT_TRUE(file->temporary().parent_path().empty());
        EXPECT_TRUE(file->commit(error)) << error;
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"bare.csv"});
}

TEST(PendingFile, TemporaryNamesFitWhereTheTargetFits) {
    EXPECT_EQ(temporaryName("out.wav", "12-0", 255), ".out.wav.part-12-0");
    const std::string cut = temporaryName(std::string(255, 'x'), "12-0", 255);
    EXPECT_EQ(cut, "." + std::string(244, 'x') + ".part-12-0");
    // A cut through a two-byte character drops all of it.
    EXPECT_EQ(temporaryName("\xc3\xa9\xc3\xa9", "1-0", 13), ".\xc3\xa9.part-1-0");
    EXPECT_EQ(temporaryName("abc", "1-0", 10), "");
}

} // namespace
} // namespace velmora::host
