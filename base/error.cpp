#include "base/error.h"

#include <cstring>

namespace vq {

Error SystemError(const std::string& context, int err) {
  return Error(context + ": " + std::strerror(err), err);
}

}  // namespace vq
