#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq {

// Target device style for folder and file names.
enum class TFileNameStyle : uint8_t { fns1541U, fnsSD2IEC, fnsNone };
using enum TFileNameStyle;

// What extraction does with VERSION.NFO.
enum class TNFOStyle : uint8_t { nsOptimize, nsNoOptimize, nsExclude };
using enum TNFOStyle;

// One accepted game. Texts that name or describe the game are UTF-16; the
// zip's path is UTF-8 as the file system gives it.
struct TArcInfo {
  std::string ZipFile;              // full path of the source zip
  std::u16string Name;              // title from the "Name:" line, trimmed
  std::u16string OutLetter;         // letter folder: "A".."Z" or "0"
  std::u16string OutSubDir;         // subfolder in the letter folder, upper case; may be empty
  std::u16string OutFolderName;     // the game's own folder name
  std::u16string RealOutPath;       // game folder relative to the destination, ending in '/'
  std::u16string SIDFile;           // HVSC path of the tune without ".sid"; may be empty
  int32_t UniqueID = 0;             // "Unique-ID:" number, else the scan position
  int32_t UnhandledFileCount = 0;   // entries with an unrecognised extension
  int32_t ExtractedFileCount = 0;   // entries extracted or converted
  std::u16string ExtractionStatus;  // error notes, each beginning with a blank
  // What identifies the game's sources, for the manifest; set by the scan
  // outside test mode.
  uint64_t ZipSize = 0;  // bytes
  int64_t ZipTime = 0;   // modification time, ns
  std::string ZipCrcs;   // CRC-32 of each entry, central directory order
  std::string SidKey;    // the tunes' paths, sizes and times
  bool IdFromNfo = false;  // UniqueID is the NFO's, not a scan position
};

// The job's games; owns its records.
using TArchiveList = std::vector<TArcInfo>;

}  // namespace vq
