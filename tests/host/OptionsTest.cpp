#include "render/Options.h"

#include <gtest/gtest.h>

namespace velmora::host {
namespace {

bool parse(std::vector<std::string> args, Options& o, std::string& error) {
    o = Options{};
    error.clear();
    return parseOptions(args, o, error);
}

TEST(Options, ReadsEveryAbility) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"in.wav",  "out.wav", "--set",         "threshold=-30 dB",
                       "-s",      "rms=on",  "--set=hold=20", "--sidechain",
                       "key.wav", "--state", "a.state",       "--save-state=b.state",
                       "--block", "64",      "--meters",      "m.csv",
                       "-p",      "p.png",   "--plugin",      "x.vst3",
                       "-q",      "-v"},
                      o, error))
        << error;
    EXPECT_EQ(o.input, "in.wav");
    EXPECT_EQ(o.output, "out.wav");
    EXPECT_EQ(o.settings, (std::vector<std::string>{"threshold=-30 dB", "rms=on", "hold=20"}));
    EXPECT_EQ(o.sidechain, "key.wav");
    EXPECT_EQ(o.state, "a.state");
    EXPECT_EQ(o.saveState, "b.state");
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_EQ(o.meters, "m.csv");
    EXPECT_EQ(o.plot, "p.png");
    EXPECT_EQ(o.plugin, "x.vst3");
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.verbose);
    EXPECT_FALSE(o.listParams);

    ASSERT_TRUE(parse({"--list-params"}, o, error)) << error;
    EXPECT_TRUE(o.listParams);
    ASSERT_TRUE(parse({"--help", "whatever"}, o, error));
    EXPECT_TRUE(o.help);
    ASSERT_TRUE(parse({"--save-state", "s.bin", "--set", "bypass=on"}, o, error)) << error;
    EXPECT_TRUE(o.input.empty());
    // The batch form: every file is an input.
    ASSERT_TRUE(parse({"-o", "gated", "a.wav", "b.flac", "-j", "3", "--set", "hold=5"}, o, error))
        << error;
    EXPECT_EQ(o.outputDir, "gated");
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.wav", "b.flac"}));
    EXPECT_EQ(o.jobs, 3);
    EXPECT_TRUE(o.input.empty());
    // After "--" a name may start with a dash.
    ASSERT_TRUE(parse({"--", "-in.wav", "-out.wav"}, o, error)) << error;
    EXPECT_EQ(o.input, "-in.wav");
}

TEST(Options, RefusesCommandLinesThatCannotRun) {
    Options o;
    std::string error;
    EXPECT_FALSE(parse({}, o, error));
    EXPECT_EQ(error, "expected an input and an output file (--help shows usage)");
    EXPECT_FALSE(parse({"in.wav"}, o, error));
    EXPECT_FALSE(parse({"a", "b", "c"}, o, error));
    EXPECT_EQ(error, "too many files: 'c' (--help shows usage)");
    EXPECT_FALSE(parse({"a", "b", "--frobnicate"}, o, error));
    EXPECT_EQ(error, "unknown option '--frobnicate' (--help lists them)");
    EXPECT_FALSE(parse({"a", "b", "--set"}, o, error));
    EXPECT_EQ(error, "option --set needs a value");
    EXPECT_FALSE(parse({"a", "b", "--set", "threshold"}, o, error));
    EXPECT_EQ(error, "--set expects NAME=VALUE, not 'threshold'");
    for (const char* bad : {"0", "-5", "abc", "12x", "70000"}) {
        EXPECT_FALSE(parse({"a", "b", "--block", bad}, o, error)) << bad;
        EXPECT_NE(error.find("--block expects"), std::string::npos);
    }
    EXPECT_FALSE(parse({"a", "b", "--meters="}, o, error));
    EXPECT_FALSE(parse({"a", "b", "--quiet=yes"}, o, error));
    EXPECT_FALSE(parse({"--list-params", "a.wav"}, o, error));
    EXPECT_FALSE(parse({"--save-state", "s.bin", "--plot", "p.png"}, o, error));
    EXPECT_FALSE(parse({"--output-dir", "gated"}, o, error));
    EXPECT_EQ(error, "--output-dir needs at least one input file (--help shows usage)");
    for (const char* bad : {"0", "x", "2000"}) {
        EXPECT_FALSE(parse({"-o", "gated", "a.wav", "-j", bad}, o, error)) << bad;
        EXPECT_NE(error.find("--jobs expects"), std::string::npos);
    }
    EXPECT_NE(usageText().find("--list-params"), std::string::npos);
}

} // namespace
} // namespace velmora::host
