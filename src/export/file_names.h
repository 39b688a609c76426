// What the name of an exported file says of its format: its extension, in lower case. Any
// thread; not real-time safe.
#pragma once

#include <string>

namespace vordel {

// The letters after the last dot of the file's name, in lower case ("" when there is none).
std::string Extension(const std::string& path);
// Whether the file's name ends in `dot_extension` (".mid"), in any case.
inline bool HasExtension(const std::string& path, const std::string& dot_extension) {
  return "." + Extension(path) == dot_extension;
}

}  // namespace vordel
