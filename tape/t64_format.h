#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

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
// A P file carries the 2-byte load address after the common header.
constexpr int kPc64MaxHeaderSize = kPc64HeaderSize + 2;

// FileTypeC64S of a regular tape file, the only kind converted.
constexpr uint8_t kC64sNormalFile = 1;
// FileType1541 values that give a letter other than P.
constexpr uint8_t kType1541Del = 0x80;
constexpr uint8_t kType1541Seq = 0x81;
constexpr uint8_t kType1541Usr = 0x83;

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

// Little-endian 16-bit number at `p`.
inline uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Little-endian 32-bit number at `p`.
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Stores `value` little-endian at `p`.
inline void WriteLe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value & 0xFF);
  p[1] = static_cast<uint8_t>(value >> 8);
}

// Stores `value` little-endian at `p`.
inline void WriteLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Decodes the 64 header bytes.
inline Tt64FileHeader DecodeFileHeader(std::span<const uint8_t, kHeaderSize> bytes) {
  Tt64FileHeader header{};
  std::memcpy(header.Signature, bytes.data(), sizeof header.Signature);
  header.TapeVer = ReadLe16(bytes.data() + 32);
  header.MaxEntries = ReadLe16(bytes.data() + 34);
  header.UsedEntries = ReadLe16(bytes.data() + 36);
  header.Reserved = ReadLe16(bytes.data() + 38);
  std::memcpy(header.TapeName, bytes.data() + kTapeNameOffset, sizeof header.TapeName);
  return header;
}

// Encodes `header` as the 64 bytes of a T64 archive start.
inline std::array<uint8_t, kHeaderSize> EncodeFileHeader(const Tt64FileHeader& header) {
  std::array<uint8_t, kHeaderSize> bytes{};
  std::memcpy(bytes.data(), header.Signature, sizeof header.Signature);
  WriteLe16(bytes.data() + 32, header.TapeVer);
  WriteLe16(bytes.data() + 34, header.MaxEntries);
  WriteLe16(bytes.data() + 36, header.UsedEntries);
  WriteLe16(bytes.data() + 38, header.Reserved);
  std::memcpy(bytes.data() + kTapeNameOffset, header.TapeName, sizeof header.TapeName);
  return bytes;
}

// Decodes one 32-byte directory slot.
inline Tt64DirectoryEntry DecodeDirectoryEntry(std::span<const uint8_t, kSlotSize> bytes) {
  Tt64DirectoryEntry entry{};
  entry.FileTypeC64S = bytes[0];
  entry.FileType1541 = bytes[1];
  entry.StartAddress = ReadLe16(bytes.data() + 2);
  entry.EndAddress = ReadLe16(bytes.data() + 4);
  entry.Reserved1 = ReadLe16(bytes.data() + 6);
  entry.Offset = ReadLe32(bytes.data() + 8);
  entry.Reserved2 = ReadLe32(bytes.data() + 12);
  std::memcpy(entry.FileName, bytes.data() + 16, sizeof entry.FileName);
  return entry;
}

// Encodes `entry` as a 32-byte directory slot.
inline std::array<uint8_t, kSlotSize> EncodeDirectoryEntry(const Tt64DirectoryEntry& entry) {
  std::array<uint8_t, kSlotSize> bytes{};
  bytes[0] = entry.FileTypeC64S;
  bytes[1] = entry.FileType1541;
  WriteLe16(bytes.data() + 2, entry.StartAddress);
  WriteLe16(bytes.data() + 4, entry.EndAddress);
  WriteLe16(bytes.data() + 6, entry.Reserved1);
  WriteLe32(bytes.data() + 8, entry.Offset);
  WriteLe32(bytes.data() + 12, entry.Reserved2);
  std::memcpy(bytes.data() + 16, entry.FileName, sizeof entry.FileName);
  return bytes;
}

}  // namespace vq::t64
