#pragma once

#include <stdexcept>
#include <string>

namespace vq {

// The project's one exception type. Its text reads "context: cause" where a
// context exists, or is a fixed message that the user sees as it stands.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, int code = 0) : std::runtime_error(message), code_(code) {}
  // The system error number behind the error (errno), 0 when there is none.
  int Code() const { return code_; }

 private:
  int code_;
};

// Builds "context: strerror(err)" carrying `err`.
Error SystemError(const std::string& context, int err);

}  // namespace vq
