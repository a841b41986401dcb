#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/random.h"
#include "tools/sample_collection.h"
#include "tools/sample_plan.h"
#include "tools/zip_writer.h"

namespace vq::tools {

// Writes the zips of sample games; one writer per thread, its buffers reused
// game after game.
class TGameWriter {
 public:
  // Writes game.ZipPath (its folder exists) as `plan` says and fills in
  // game.Entries and the member counts. Throws vq::Error on a write failure.
  void Write(const TGamePlan& plan, TSampleGame& game);

 private:
  std::string& Add(const std::string& name, bool deflate);
  void AddD64Set(TRandom& rng, const TGamePlan& plan, int disks, const std::string& folder);
  void AddT64(TRandom& rng, const TGamePlan& plan, TSampleGame& game);
  void Count(TSampleGame& game) const;

  std::vector<TZipWriterEntry> entries_;
  std::vector<std::string> pool_;  // data buffers handed to entries_ and taken back
  std::vector<std::pair<std::string, std::string>> prgs_;
  std::string zip_;
};

}  // namespace vq::tools
