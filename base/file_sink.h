#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace vq {

// A new file being written, made by whoever holds the folder it lands in:
// a reader that produces bytes (a zip entry, a tape's files) writes them
// here and never names a place on disk itself. Unless Commit has closed
// it, the file is removed again when the object goes.
class TFileSink {
 public:
  virtual ~TFileSink() = default;
  // Appends `size` bytes. Throws Error("<path>: <cause>").
  virtual void Write(const void* data, size_t size) = 0;
  // Closes the complete file. Throws Error("<path>: <cause>"), the file
  // removed, when the close reports a failure.
  virtual void Commit() = 0;
};

// A folder that new files can be made in, by paths relative to it.
class TFileTarget {
 public:
  virtual ~TFileTarget() = default;
  // Creates the file `relativePath` ('/'-separated; its sub-folders made as
  // needed), replacing a file of that name. Throws Error("<path>: <cause>").
  virtual std::unique_ptr<TFileSink> Create(const std::string& relativePath) = 0;
};

}  // namespace vq
