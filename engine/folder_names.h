#pragma once

#include <functional>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/regex.h"
#include "engine/arc_info.h"

namespace vq {

// Replaces accented Latin letters by base letters (65 fixed replacements).
std::u16string ReduceToBaseChars(std::u16string_view s);

// The sd2iec form of a folder name: lower case, "_" and "&" as "-", " - " as
// " ", at most 16 characters, no trailing blank or control character.
std::u16string MakeSD2IECName(std::u16string_view s);

// The name of a duplicate: "name 00042" padded or cut to 16 characters in
// the sd2iec style, else "name [00042]".
std::u16string MakeUniqueFolderName(std::u16string_view name, int32_t id, TFileNameStyle style);

// Turns titles into folder names and letters. Holds the two cleaning
// patterns, compiled once per phase; one namer serves one thread at a time.
class TFolderNamer {
 public:
  // Compiles the two cleaning patterns for `style`; the upper-case option
  // counts only for the 1541 Ultimate style.
  TFolderNamer(TFileNameStyle style, bool forceUppercase1541U);
  // Sets OutFolderName and OutLetter of `info` from its Name. A title with
  // nothing left gives the folder name "%.5d" of UniqueID and letter "0".
  void Adjust(TArcInfo& info) const;
  // The folder name of a title, shaped for the style; may be empty. Deletes
  // \ / : * ? " < > | . and control characters, then a leading run of
  // . , ' $, then trims and reduces accented letters.
  std::u16string FolderName(std::u16string_view title) const;

 private:
  TFileNameStyle style_;
  bool force_uppercase_;
  Regex forbidden_;
  Regex leading_run_;
};

// The letter folder of a folder name: its first character when that is an
// ASCII letter (upper-cased), else "0".
std::u16string OutLetterOf(std::u16string_view folderName);

// Suffixes every member of a run of equal folder names with its unique ID.
// `list` is sorted by folder name, then ID. Checks `terminated` (may be
// empty) before each game.
void MakeFolderNamesUnique(TArchiveList& list, TFileNameStyle style, const std::function<bool()>& terminated);

}  // namespace vq
