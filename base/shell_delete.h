#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vq {

// How a folder delete ended.
enum class TDeleteResult { drDone, drFailed, drCancelled };

// Deletes a folder tree permanently, the way the platform shell would,
// without asking and without dialogs of its own. Symbolic links are removed
// as links: nothing outside the tree is ever followed or touched.
class TShellDelete {
 public:
  // Told after each removed entry, with the count removed and the total,
  // and with (0, 0) now and then while a large tree is still being counted;
  // returns false to cancel.
  using TProgress = std::function<bool(size_t done, size_t total)>;

  explicit TShellDelete(TProgress progress) : progress_(std::move(progress)) {}

  // Deletes `path`: a folder with its whole content, or a link or file by
  // itself. Stops at the first error or at a cancel; what was removed by
  // then stays removed. A missing path is a failure.
  TDeleteResult Delete(const std::string& path);

 private:
  bool CountEntries(int dirFd, size_t& count);
  bool DeleteContents(int dirFd);
  bool Removed();

  TProgress progress_;
  size_t done_ = 0;
  size_t total_ = 0;
  bool cancelled_ = false;
};

}  // namespace vq
