// Reading "--name VALUE" and "--name=VALUE" options.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vordel {

enum class OptionMatch { kNo, kValue, kMissingValue };

// Whether args[i] is the option `name`; with a value, stores it and moves i past a value given
// as a separate argument.
inline OptionMatch TakeOption(const std::vector<std::string>& args, std::size_t& i,
                              const std::string& name, std::string* value) {
  const std::string& a = args[i];
  if (a == name) {
    if (i + 1 >= args.size()) {
      return OptionMatch::kMissingValue;
    }
    *value = args[++i];
    return OptionMatch::kValue;
  }
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    *value = a.substr(name.size() + 1);
    return OptionMatch::kValue;
  }
  return OptionMatch::kNo;
}

}  // namespace vordel
