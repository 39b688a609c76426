// Small readings of texts given on command lines and in files: white space trimmed, and lists
// separated by commas. Any thread; not real-time safe.
#pragma once

#include <string>
#include <vector>

namespace vordel {

// `s` without the spaces, tabs and carriage returns at its ends.
std::string Trim(const std::string& s);
// The comma-separated parts of `text`, each trimmed ("a, b," gives "a", "b", "").
std::vector<std::string> CommaFields(const std::string& text);

}  // namespace vordel
