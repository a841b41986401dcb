#pragma once

#include <cstddef>
#include <string>

#include "tools/random.h"

// Game titles for the sample collection and the names derived from them:
// zip file names, letter folders, C64 directory names and HVSC tune names.
namespace vq::tools {

// A random game title in UTF-8: word pairs, sequels, sports, numbers,
// punctuation and accented letters, each form about as often as in real
// collections.
std::string MakeTitle(TRandom& rng);
// The title with characters that file names cannot hold removed, blanks as
// '_', and no '.' or '_' at either end; "Game" when nothing is left.
std::string FileNamePart(const std::string& title);
// The letter folder of a file name part: "A".."Z", "0-9" or "#"; a leading
// "The_" is skipped.
std::string GroupFolder(const std::string& part);
// The ASCII words of `text` (accented letters reduced to their base letter)
// in upper case, joined by blanks, cut to `max` bytes; "GAME" when none.
std::string C64Name(const std::string& text, size_t max);
// The HVSC tune name of a title: up to four of its ASCII words joined by '_',
// without a leading "The"; "Tune" when none.
std::string TuneName(const std::string& title);

}  // namespace vq::tools
