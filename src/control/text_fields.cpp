#include "control/text_fields.h"

#include <algorithm>
#include <cstdio>

namespace vordel {

std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) {
    return "";
  }
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::vector<std::string> CommaFields(const std::string& text) {
  std::vector<std::string> fields;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    fields.push_back(Trim(text.substr(at, comma - at)));
    at = comma + 1;
  }
  return fields;
}

std::string MinutesAndSeconds(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  }
  return text;
}

}  // namespace vordel
