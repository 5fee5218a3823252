#include "song/song_names.h"
#include <algorithm>
#include <cctype>

const char* const modSourceNames[modSourceCount] = {
    "velocity",    "controller1", "controller2", "controller3", "controller4",
    "controller5", "controller6", "controller7", "eg1",         "eg2",
    "lfo1",        "lfo2",        "key",
};

int32_t findName(const char* const* names, int32_t count, const std::string& name) {
    for (int32_t i = 0; i < count; ++i) {
        if (name == names[i]) return i;
    }
    return -1;
}

std::vector<std::string> nameList(const char* const* names, int32_t count) {
    return std::vector<std::string>(names, names + count);
}

namespace {
std::string lowered(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t substitute = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
            diagonal = above;
        }
    }
    return row[b.size()];
}
}  // namespace

std::string closestName(const std::vector<std::string>& known, const std::string& name) {
    // A name this long is no misspelling, and comparing it would cost its
    // length times every candidate's.
    if (name.size() > maxEchoedNameLength) return "";
    const std::string wanted = lowered(name);
    std::string best;
    size_t bestDistance = wanted.size() / 3 + 1;  // more edits than this is no misspelling
    for (const std::string& candidate : known) {
        // The distance is at least the difference in length.
        const size_t gap = candidate.size() > wanted.size() ? candidate.size() - wanted.size()
                                                            : wanted.size() - candidate.size();
        if (gap > bestDistance) continue;
        const size_t distance = editDistance(wanted, lowered(candidate));
        if (distance <= bestDistance && (best.empty() || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::string quotedName(const std::string& name) {
    std::string quoted(1, '"');
    if (name.size() <= maxEchoedNameLength) return quoted.append(name) += '"';
    return quoted.append(name, 0, shortenedNameLength)
        .append("...\" (")
        .append(std::to_string(name.size()))
        .append(" characters)");
}

std::string unknownNameMessage(const std::string& what, const std::string& name,
                               const std::vector<std::string>& known) {
    std::string message = "unknown " + what + " " + quotedName(name);
    const std::string near = closestName(known, name);
    if (!near.empty()) message += "; did you mean \"" + near + "\"?";
    return message;
}
