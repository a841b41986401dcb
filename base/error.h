#pragma once

#include <stdexcept>
#include <string>

namespace vq {

// The project's one exception type. Its text reads "context: cause" where a
// context exists, or is a fixed message that the user sees as it stands.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builds "context: strerror(err)".
Error SystemError(const std::string& context, int err);

}  // namespace vq
