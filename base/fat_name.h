#pragma once

#include <string>
#include <string_view>

// Names that FAT32 and exFAT accept, as the card's devices compare them.
namespace vq {

// The longest name FAT keeps, in UTF-16 code units.
constexpr size_t kMaxFatName = 255;

// `name` made valid on FAT32 and exFAT: the characters " * / : < > ? \ | and
// U+0000 to U+001F become '_'; trailing blanks and full stops go; a DOS
// device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, any case, with
// or without an extension) gets '_' after its stem; a name longer than 255
// code units is cut before its extension, at a character boundary. A name
// with nothing left becomes "_". A valid name comes back unchanged.
std::u16string FatName(std::u16string_view name);
// The same for a UTF-8 name.
std::string FatName(std::string_view name);

// The key under which FAT compares names: Unicode simple case folding.
std::u16string FatKey(std::u16string_view name);

}  // namespace vq
