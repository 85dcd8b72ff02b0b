#include "render/Settings.h"

#include "render/ParameterLookup.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace velmora::host {

namespace {

std::string trimmed(const std::string& s) {
    const auto first =
        std::find_if_not(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c) != 0; });
    const auto last = std::find_if_not(s.rbegin(), s.rend(),
                                       [](unsigned char c) { return std::isspace(c) != 0; });
    return first < last.base() ? std::string(first, last.base()) : std::string();
}

} // namespace

bool resolveSetting(const HostedPlugin& plugin, const std::string& assignment, Setting& setting,
                    std::string& error, std::string& warning) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos) {
        error = "--set expects NAME=VALUE, not '" + assignment + "'";
        return false;
    }
    const std::string name = trimmed(assignment.substr(0, eq));
    const std::string text = trimmed(assignment.substr(eq + 1));
    if (name.empty()) {
        error = "--set '" + assignment + "' names no parameter";
        return false;
    }
    const std::vector<ParameterEntry>& params = plugin.parameters();
    const ParameterMatch match = findParameter(params, name);
    if (match.kind != ParameterMatch::Kind::Found) {
        error = describeMismatch(match, name);
        return false;
    }
    const ParameterEntry& p = params[match.index];
    if (p.isReadOnly()) {
        error = "parameter '" + p.title + "' is read-only";
        return false;
    }
    if (text.empty()) {
        error = "no value given for '" + p.title + "'";
        return false;
    }

    std::optional<double> value;
    if (p.isSwitch()) {
        value = switchValueFromWord(p.title, text);
    }
    if (!value) {
        value = plugin.valueFromText(p.id, text);
    }
    if (!value || std::isnan(*value)) {
        std::string hint;
        if (p.isSwitch()) {
            const std::vector<std::string> words = switchWords(p.title);
            hint = words.size() == 2 ? words[0] + ", " + words[1] + ", on or off" : "on or off";
        } else {
            hint = "for example '" + plugin.valueText(p.id, plugin.normalized(p.id)) + "'";
        }
        error = "cannot read '" + text + "' as a value of '" + p.title + "' (" + hint + ")";
        return false;
    }
    double v = *value;
    if (v < 0.0 || v > 1.0) {
        v = std::clamp(v, 0.0, 1.0);
        warning = "'" + text + "' is outside the range of '" + p.title + "'; using '" +
                  plugin.valueText(p.id, v) + "'";
    }
    setting.id = p.id;
    setting.title = p.title;
    setting.value = v;
    return true;
}

} // namespace velmora::host
