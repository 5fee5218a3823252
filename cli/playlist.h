#pragma once
// q7m play's playlist: the modules its arguments name, in order.
#include <string>
#include <vector>

// A file stands for itself; a folder for its .q7m files (any letter case),
// sorted by name, without descending into subfolders. A folder that cannot
// be listed is reported in errors ("FOLDER: reason") and skipped.
std::vector<std::string> playlistCollect(const std::vector<std::string>& arguments,
                                         std::vector<std::string>& errors);
