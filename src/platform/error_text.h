// The words of a system error number ("No space left on device"), safe on any thread (unlike
// strerror). Any thread; not real-time safe (allocates).
#pragma once

#include <string>
#include <system_error>

namespace vordel {

inline std::string ErrorText(int error_number) {
  return std::generic_category().message(error_number);
}

}  // namespace vordel
