// Parameter strings: whole decimal numbers separated by white space, five per musical object
// (function, p1, p2, p3, p4).
// Any thread; not real-time safe (allocates).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vordel {

// Longest text read from a parameter string; the rest of a longer text is ignored.
inline constexpr std::size_t kMaxParameterText = 4095;
inline constexpr int kMaxMusicalObjects = 50;
inline constexpr int kNumbersPerObject = 5;

// True for the bytes that separate numbers: space, tab, LF, VT, FF, CR.
constexpr bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Converts one token the way the standard decimal conversion does (optional sign, digits up
// to the first other character, 0 without digits), saturating at the int range.
int ConvertNumber(std::string_view token);

// The numbers of the first kMaxParameterText bytes of text, in order.
std::vector<int> SplitParameterString(std::string_view text);

// Counts the numbers of text (same rules as SplitParameterString).
int CountNumbers(std::string_view text);

}  // namespace vordel
