#include "composer/parameter_string.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace vordel {
namespace {

std::string_view Bounded(std::string_view text) {
  return text.substr(0, std::min(text.size(), kMaxParameterText));
}

template <typename F>
void ForEachToken(std::string_view text, F&& f) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && IsSeparator(text[i])) {
      ++i;
    }
    if (i == n) {
      break;
    }
    const std::size_t start = i;
    while (i < n && !IsSeparator(text[i])) {
      ++i;
    }
    f(text.substr(start, i - start));
  }
}

}  // namespace

int ConvertNumber(std::string_view token) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    if (!saturated) {
      value = value * 10 + (token[i] - '0');
      if (value > static_cast<std::int64_t>(INT_MAX) + 1) {
        saturated = true;
      }
    }
  }
  if (negative) {
    value = -value;
  }
  if (saturated || value > INT_MAX) {
    return negative ? INT_MIN : INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}

std::vector<int> SplitParameterString(std::string_view text) {
  std::vector<int> numbers;
  ForEachToken(Bounded(text),
               [&](std::string_view token) { numbers.push_back(ConvertNumber(token)); });
  return numbers;
}

int CountNumbers(std::string_view text) {
  int count = 0;
  ForEachToken(Bounded(text), [&](std::string_view) { ++count; });
  return count;
}

}  // namespace vordel
