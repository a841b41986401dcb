// vqsd-sample: writes a deterministic sample collection for the demo, the
// tests and the benchmarks.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "base/text.h"
#include "tools/sample_collection.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: vqsd-sample --out DIR [--seed N] [--games N] [--no-hvsc] [--no-romlist]\n");
  return 2;
}

bool ParseCount(const char* text, int32_t min, int32_t& value) {
  return vq::TryParseInt32(text, value) && value >= min;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  vq::tools::TSampleOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool hasValue = i + 1 < argc;
    int32_t value = 0;
    if (std::strcmp(arg, "--out") == 0 && hasValue) {
      out = argv[++i];
    } else if (std::strcmp(arg, "--seed") == 0 && hasValue && ParseCount(argv[i + 1], 0, value)) {
      options.Seed = static_cast<uint32_t>(value);
      ++i;
    } else if (std::strcmp(arg, "--games") == 0 && hasValue && ParseCount(argv[i + 1], 0, value)) {
      options.GameCount = value;
      ++i;
    } else if (std::strcmp(arg, "--no-hvsc") == 0) {
      options.WithHvsc = false;
    } else if (std::strcmp(arg, "--no-romlist") == 0) {
      options.WithRomList = false;
    } else {
      return Usage();
    }
  }
  if (out.empty()) return Usage();
  try {
    const vq::tools::TSampleCollection collection = vq::tools::GenerateSampleCollection(out, options);
    int valid = 0;
    int sids = 0;
    int listed = 0;
    for (const vq::tools::TSampleGame& game : collection.Games) {
      valid += game.Valid && !game.Hidden;
      sids += game.SidInHvsc;
      listed += game.InRomList;
    }
    std::printf("%zu games (%d loadable, %zu broken or hidden) in %s; %d with a tune in HVSC; %d in the RomList\n",
                collection.Games.size(), valid, collection.Games.size() - static_cast<size_t>(valid),
                collection.GamesDir.c_str(), sids, listed);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vqsd-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
