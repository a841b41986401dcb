#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/random.h"

// Disk, tape, cartridge and tune images for the sample collection. Every
// builder is deterministic: the same arguments and random state give the
// same bytes. The Build* forms write into `out`, so a caller can reuse its
// buffer image after image.
namespace vq::tools {

// A real-sized D64 image (174,848 bytes) with a directory listing `files`:
// BAM and disk name on track 18 sector 0, directory from track 18 sector 1,
// each file a PRG of one or more chained sectors.
std::string MakeD64Image(const std::string& diskName, const std::vector<std::string>& files);
// A T64 tape archive holding `files` (name, data), each a PRG. Each data is a
// PRG file as stored on disk: its first two bytes are the load address, which
// goes into the directory slot; the rest is the tape data. The header reads
// "C64S tape image file", MaxEntries is the file count rounded up to a
// multiple of 8, names are padded with spaces.
std::string MakeT64Archive(const std::string& tapeName,
                           const std::vector<std::pair<std::string, std::string>>& files);

// MakeD64Image into `out`.
void BuildD64(const std::string& diskName, const std::vector<std::string>& files, std::string& out);
// MakeT64Archive into `out`.
void BuildT64(const std::string& tapeName, const std::vector<std::pair<std::string, std::string>>& files,
              std::string& out);
// An 8K or 16K cartridge with one ROM chip whose header names `name`.
void BuildCrt(const std::string& name, TRandom& rng, std::string& out);
// A version 1 TAP file of pilot and data pulses.
void BuildTap(TRandom& rng, std::string& out);
// A G64 image with 84 half-track slots, only track 1 present.
void BuildG64(TRandom& rng, std::string& out);
// `size` bytes starting with `magic` and the C64 form of `name`, then code
// from offset 256 (a stand-in for D81 and REU images).
void BuildSmallImage(const char* magic, const std::string& name, TRandom& rng, size_t size, std::string& out);
// A PSID version 2 tune (load address 0x1000) with the given texts; with
// `asPrg` only its PRG data (load address and code), as tunes stored as ".prg".
std::string BuildPsid(const std::string& title, const char* author, const std::string& released,
                      uint64_t seed, bool asPrg);

// Appends `count` program-like bytes: with `stub` a BASIC "SYS 2061" line
// first, then code-ish bytes from a small alphabet so the data compresses
// about as well as real programs.
void AppendProgramBytes(std::string& out, TRandom& rng, size_t count, bool stub = true);
// A 64-bit FNV-1a hash of `text`: a seed that depends on a name alone.
uint64_t HashText(std::string_view text);

}  // namespace vq::tools
