#pragma once
// Names used in song sources: patch and global parameters, modulation
// sources, and the nearest known name for a misspelt one.
#include <cstdint>
#include <string>
#include <vector>

// Index of name in names[0..count), or -1.
int32_t findName(const char* const* names, int32_t count, const std::string& name);
// The known name closest to name (by edit distance, ignoring case), or ""
// when none is close enough to be a likely misspelling.
// Names longer than maxEchoedNameLength get no suggestion.
std::string closestName(const std::vector<std::string>& known, const std::string& name);

// Names a message repeats are cut short, so a huge key cannot flood the
// error output.
constexpr size_t maxEchoedNameLength = 64;
constexpr size_t shortenedNameLength = 40;
// name in double quotes; above maxEchoedNameLength its first
// shortenedNameLength characters, "..." and its length.
std::string quotedName(const std::string& name);
// unknown WHAT "NAME"; did you mean "KNOWN"? (the question only when a known
// name is close).
std::string unknownNameMessage(const std::string& what, const std::string& name,
                               const std::vector<std::string>& known);
std::vector<std::string> nameList(const char* const* names, int32_t count);

// Modulation sources: "velocity", "controller1".."controller7", "eg1", "eg2",
// "lfo1", "lfo2", "key" (bytes 0..12).
constexpr int32_t modSourceCount = 13;
extern const char* const modSourceNames[modSourceCount];
