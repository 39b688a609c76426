// Small readings and writings of texts: white space trimmed, lists separated by commas, and a
// time as the window shows it. Any thread; not real-time safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vordel {

// `s` without the spaces, tabs and carriage returns at its ends.
std::string Trim(const std::string& s);
// The comma-separated parts of `text`, each trimmed ("a, b," gives "a", "b", "").
std::vector<std::string> CommaFields(const std::string& text);
// Milliseconds as minutes and seconds: "0:00", "1:07", "1:02:03" from an hour on (whole seconds,
// rounded down; below 0 counts as 0).
std::string MinutesAndSeconds(std::int64_t ms);

}  // namespace vordel
