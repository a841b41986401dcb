#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vq::test {

// A FAT32 file system in an image file, mounted through FUSE (fusefat) at
// Path() for as long as the object lives: the card the users write to.
// Available() is false, with Reason() saying why, where FUSE or the tools
// are missing.
class TFatImage {
 public:
  // Makes a `megabytes` image and mounts it under `folder` (ending in '/').
  TFatImage(const std::string& folder, int megabytes = 64)
      : image_(folder + "card.img"), mount_(folder + "card/") {
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      reason_ = "/dev/fuse is not usable here";
    } else if (std::system("command -v fusefat >/dev/null && command -v mkfs.fat >/dev/null") != 0) {
      reason_ = "fusefat or mkfs.fat is missing (Debian: fusefat, dosfstools)";
    } else if (Run("truncate -s " + std::to_string(megabytes) + "M '" + image_ + "' && mkfs.fat -F 32 '" + image_ +
                   "' >/dev/null && mkdir -p '" + mount_ + "' && fusefat -o rw+ '" + image_ + "' '" + mount_ +
                   "' >/dev/null 2>&1") != 0) {
      reason_ = "the image could not be made or mounted";
    } else {
      mounted_ = true;
    }
  }
  ~TFatImage() {
    if (mounted_) Run("fusermount -u '" + mount_ + "'");
  }
  TFatImage(const TFatImage&) = delete;
  TFatImage& operator=(const TFatImage&) = delete;

  bool Available() const { return mounted_; }
  const std::string& Reason() const { return reason_; }
  // The mounted file system's root, ending in '/'.
  const std::string& Path() const { return mount_; }

 private:
  static int Run(const std::string& command) { return std::system(command.c_str()); }

  std::string image_;
  std::string mount_;
  std::string reason_;
  bool mounted_ = false;
};

}  // namespace vq::test
