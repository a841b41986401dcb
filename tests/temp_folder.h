#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vq::test {

// A new folder under the test temp folder, removed with its content when
// the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "vqsd") {
    std::string pattern = ::testing::TempDir() + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder from " + pattern);
    path_ = pattern + "/";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, ending in '/'.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vq::test
