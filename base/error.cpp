#include "base/error.h"

#include <cstring>

#include "base/text.h"

namespace vq {

Error SystemError(const std::string& context, int err) {
  return Error(ClipText(context) + ": " + std::strerror(err), err);
}

}  // namespace vq
