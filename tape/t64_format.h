#pragma once

#include <cstdint>

// Byte layout of T64 tape archives and of PC64 files; all numbers
// little-endian.
//
// T64: a 64-byte header, then MaxEntries directory slots of 32 bytes, then
// the file data at the offsets the slots give.
//   header  0  32  Signature   first 3 bytes "C64", any letter case
//          32   2  TapeVer     (not read)
//          34   2  MaxEntries  number of directory slots
//          36   2  UsedEntries number of slots that are read
//          38   2  Reserved
//          40  24  TapeName    single-byte text, padded
//   slot    0   1  FileTypeC64S  0 free, 1 regular tape file, other: listed only
//           1   1  FileType1541  0 skip; 0x80 DEL, 0x81 SEQ, 0x83 USR; else PRG
//           2   2  StartAddress  load address
//           4   2  EndAddress    (not read)
//           6   2  Reserved1
//           8   4  Offset        position of the data in the archive
//          12   4  Reserved2
//          16  16  FileName      C64 name, padded with 0x20
//
// PC64 (.P00, .S00, ...):
//   0  7  "C64File"
//   7  1  0x00
//   8 16  FileName, trailing 0x20 run turned into 0x00
//  24  1  0x00
//  25  1  REL record length (0)
//  26  2  P files only: StartAddress
//  26/28  the data
namespace vq::t64 {

constexpr int kHeaderSize = 64;
constexpr int kSlotSize = 32;
constexpr int kTapeNameOffset = 40;
constexpr int kTapeNameSize = 24;
constexpr int kFileNameSize = 16;
constexpr char kPc64Magic[] = "C64File";
constexpr int kPc64HeaderSize = 26;

struct Tt64FileHeader {
  uint8_t Signature[32];
  uint16_t TapeVer;
  uint16_t MaxEntries;
  uint16_t UsedEntries;
  uint16_t Reserved;
  uint8_t TapeName[24];
};

struct Tt64DirectoryEntry {
  uint8_t FileTypeC64S;
  uint8_t FileType1541;
  uint16_t StartAddress;
  uint16_t EndAddress;
  uint16_t Reserved1;
  uint32_t Offset;
  uint32_t Reserved2;
  uint8_t FileName[16];
};

}  // namespace vq::t64
