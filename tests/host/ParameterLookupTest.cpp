#include "render/ParameterLookup.h"

#include "controller/ParameterIds.h"

#include <gtest/gtest.h>

namespace velmora::host {
namespace {

// The plug-in's own titles up to "Control Signal Lo", where the prefix
// cases below get interesting.
std::vector<ParameterEntry> gateParameters() {
    std::vector<ParameterEntry> params;
    for (Steinberg::Vst::ParamID id = 0; id <= kCtrlSignalLo; ++id) {
        ParameterEntry e;
        e.id = id;
        e.title = kParamTitles[id];
        e.stepCount = isSwitch(id) ? 1 : 0;
        params.push_back(e);
    }
    return params;
}

std::string foundTitle(const std::vector<ParameterEntry>& params, const std::string& name) {
    const ParameterMatch m = findParameter(params, name);
    return m.kind == ParameterMatch::Kind::Found ? params[m.index].title : "<" + name + ">";
}

TEST(ParameterLookup, FindsByTitlePrefixAndId) {
    const auto params = gateParameters();
    EXPECT_EQ(foundTitle(params, "Threshold"), "Threshold");
    EXPECT_EQ(foundTitle(params, "threshold"), "Threshold");
    EXPECT_EQ(foundTitle(params, "THRESH"), "Threshold");
    EXPECT_EQ(foundTitle(params, "  release "), "Release");
    EXPECT_EQ(foundTitle(params, "attack_delay"), "Attack Delay");
    EXPECT_EQ(foundTitle(params, "attack   (synth)"), "Attack (synth)");
    EXPECT_EQ(foundTitle(params, "detection method"), "Detection Method: Peak/RMS");
    EXPECT_EQ(foundTitle(params, "gate"), "Gate Mode: Standard/Duck");
    // An exact title wins over the longer titles it begins.
    EXPECT_EQ(foundTitle(params, "hold"), "Hold");
    EXPECT_EQ(foundTitle(params, "8"), "Threshold");
    EXPECT_EQ(foundTitle(params, "008"), "Threshold");
    EXPECT_EQ(foundTitle(params, "0"), "Bypass");

    EXPECT_EQ(findParameter(params, "99").kind, ParameterMatch::Kind::Unknown);
    EXPECT_EQ(findParameter(params, "123456789012345678901234567890").kind,
              ParameterMatch::Kind::Unknown);
    EXPECT_EQ(findParameter(params, "").kind, ParameterMatch::Kind::Unknown);
}

TEST(ParameterLookup, ReportsAmbiguousNamesWithTheirCandidates) {
    const auto params = gateParameters();
    const ParameterMatch attack = findParameter(params, "attack");
    ASSERT_EQ(attack.kind, ParameterMatch::Kind::Ambiguous);
    EXPECT_EQ(attack.candidates,
              (std::vector<std::string>{"Attack (gradual)", "Attack (synth)", "Attack Delay"}));
    const ParameterMatch edge = findParameter(params, "control band");
    ASSERT_EQ(edge.kind, ParameterMatch::Kind::Ambiguous);
    EXPECT_EQ(edge.candidates.size(), 2u);
    EXPECT_EQ(describeMismatch(attack, "attack"),
              "parameter name 'attack' is ambiguous: 'Attack (gradual)', 'Attack (synth)', "
              "'Attack Delay'");
}

TEST(ParameterLookup, SuggestsTheNearestTitlesForUnknownNames) {
    const auto params = gateParameters();
    const ParameterMatch typo = findParameter(params, "treshold");
    ASSERT_EQ(typo.kind, ParameterMatch::Kind::Unknown);
    ASSERT_FALSE(typo.candidates.empty());
    EXPECT_EQ(typo.candidates.front(), "Threshold");
    EXPECT_EQ(describeMismatch(typo, "treshold"),
              "unknown parameter 'treshold' (did you mean 'Threshold'?)");

    EXPECT_EQ(nearestTitles(params, "relase").front(), "Release");
    // A misspelt beginning of a long title.
    EXPECT_EQ(nearestTitles(params, "detecton").front(), "Detection Method: Peak/RMS");
    EXPECT_EQ(nearestTitles(params, "chanel mode").front(), "Channel Mode: Indi/Linked");
    EXPECT_EQ(nearestTitles(params, "ouput level").front(), "Output Level");
    EXPECT_LE(nearestTitles(params, "hld", 3).size(), 3u);
    EXPECT_EQ(nearestTitles(params, "hld").front(), "Hold");

    const ParameterMatch nothing = findParameter(params, "xylophone");
    EXPECT_TRUE(nothing.candidates.empty());
    EXPECT_EQ(describeMismatch(nothing, "xylophone"),
              "unknown parameter 'xylophone' (--list-params shows them all)");
}

TEST(ParameterLookup, EditDistanceCountsSingleEdits) {
    EXPECT_EQ(editDistance("", ""), 0u);
    EXPECT_EQ(editDistance("abc", ""), 3u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(editDistance("treshold", "threshold"), 1u);
    EXPECT_EQ(normalizeName("  Attack__Delay "), "attack delay");
}

TEST(SwitchWords, ReadTheStatesTheTitleNames) {
    const std::string method = "Detection Method: Peak/RMS";
    EXPECT_EQ(switchValueFromWord(method, "Peak"), 0.0);
    EXPECT_EQ(switchValueFromWord(method, "rms"), 1.0);
    EXPECT_EQ(switchValueFromWord(method, "R"), 1.0);
    EXPECT_EQ(switchValueFromWord(method, "on"), 1.0);
    EXPECT_EQ(switchValueFromWord(method, "OFF"), 0.0);

    const std::string channels = "Channel Mode: Indi/Linked";
    EXPECT_EQ(switchValueFromWord(channels, "Indi"), 0.0);
    EXPECT_EQ(switchValueFromWord(channels, "linked"), 1.0);
    EXPECT_EQ(switchValueFromWord("Gate Mode: Standard/Duck", "Duck"), 1.0);
    EXPECT_EQ(switchValueFromWord("Gate Mode: Standard/Duck", "standard"), 0.0);
    EXPECT_EQ(switchValueFromWord("Att Envelope: Synth/Gradual", "gradual"), 1.0);
    EXPECT_EQ(switchValueFromWord("Att Envelope: Synth/Gradual", "Synth"), 0.0);

    // Plain switches know only on and off and their synonyms.
    EXPECT_EQ(switchValueFromWord("Bypass", "yes"), 1.0);
    EXPECT_EQ(switchValueFromWord("Bypass", "false"), 0.0);
    EXPECT_FALSE(switchValueFromWord("Bypass", "duck"));
    // Numbers are left to the plug-in's own reading.
    EXPECT_FALSE(switchValueFromWord(method, "1"));
    EXPECT_FALSE(switchValueFromWord(method, "0.6"));
    EXPECT_FALSE(switchValueFromWord(method, "Linked"));
    EXPECT_FALSE(switchValueFromWord(method, ""));
    // A beginning shared by both words decides nothing.
    EXPECT_FALSE(switchValueFromWord("Mode: Slow/Soft", "s"));
    EXPECT_EQ(switchValueFromWord("Mode: Slow/Soft", "so"), 1.0);

    EXPECT_EQ(switchWords(method), (std::vector<std::string>{"Peak", "RMS"}));
    EXPECT_TRUE(switchWords("Bypass").empty());
    EXPECT_TRUE(switchWords("Odd: a/b/c").empty());
}

} // namespace
} // namespace velmora::host
