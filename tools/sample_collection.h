#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq::tools {

// What the generator writes.
struct TSampleOptions {
  uint32_t Seed = 1;      // the same seed and count give the same bytes
  int GameCount = 300;    // games written (broken zips included)
  bool WithHvsc = true;   // write the small HVSC tree
  bool WithRomList = true;  // write the RomLister export
};

// One generated game, as the generator meant it: what a test expects.
struct TSampleGame {
  std::string ZipPath;              // full path of the zip
  std::string Title;                // the "Name:" value as written (UTF-8, before Windows-1252 encoding)
  int32_t UniqueID = -1;            // the "Unique-ID:" value, -1 when the NFO has none
  bool Valid = true;                // false for broken zips and zips without a usable NFO
  bool InRomList = false;           // listed in the RomLister export
  std::string SidPath;              // the "SID:" value without ".sid" ('/' separated), empty if none
  bool SidInHvsc = false;           // the tune exists in the HVSC tree
  std::vector<std::string> Entries; // stored paths of the zip's members, in archive order
};

// The generated collection.
struct TSampleCollection {
  std::string GamesDir;     // source folder of the job, ending in '/'
  std::string HvscDir;      // HVSC root, ending in '/'; empty without HVSC
  std::string RomListFile;  // the RomLister export; empty without it
  std::vector<TSampleGame> Games;
};

// Writes a deterministic collection under `outDir` (created when missing):
// outDir/games/..., outDir/hvsc/..., outDir/romlist.xml.
// Throws vq::Error on a write failure.
TSampleCollection GenerateSampleCollection(const std::string& outDir, const TSampleOptions& options);

// A real-sized D64 image (174,848 bytes) with a directory listing `files`.
std::string MakeD64Image(const std::string& diskName, const std::vector<std::string>& files);
// A T64 tape archive holding `files` (name, data), each a PRG.
std::string MakeT64Archive(const std::string& tapeName,
                           const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace vq::tools
