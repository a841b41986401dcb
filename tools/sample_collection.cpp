#include "tools/sample_collection.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <map>
#include <set>
#include <thread>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "tools/zip_writer.h"

namespace vq::tools {

namespace {

// ---------------------------------------------------------------------------
// Pseudo-random numbers (splitmix64): the only source of variation.

class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, n); 0 when n is 0.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
  // A number in [lo, hi].
  int Range(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
  bool Percent(uint32_t p) { return Below(100) < p; }
  template <size_t N>
  const char* Pick(const char* const (&list)[N]) { return list[Below(N)]; }

 private:
  uint64_t state_;
};

uint64_t GameSeed(uint32_t seed, int index) {
  TRandom mix((static_cast<uint64_t>(seed) << 32) ^ static_cast<uint32_t>(index) ^ 0x5EED000000000000ull);
  return mix.Next();
}

// ---------------------------------------------------------------------------
// Word lists.

constexpr const char* kAdjectives[] = {
    "Ancient", "Atomic", "Black", "Blue", "Bionic", "Brave", "Crazy", "Cosmic", "Crystal", "Dark",
    "Deadly", "Electric", "Endless", "Final", "Flying", "Frantic", "Galactic", "Golden", "Great",
    "Hidden", "Hyper", "Impossible", "Infinite", "Iron", "Jungle", "Kung-Fu", "Last", "Lost", "Lunar",
    "Mad", "Magic", "Mega", "Mystic", "Neon", "Night", "Omega", "Power", "Quantum", "Red", "Rocket",
    "Savage", "Secret", "Silent", "Silver", "Sonic", "Space", "Speedy", "Star", "Steel", "Super",
    "Super", "Thunder", "Total", "Turbo", "Ultimate", "Vicious", "Wild", "Wizard's", "Xeno",
    "Yellow", "Zany", "Street", "Star", "Space", "Battle", "Death", "Crystal", "Mega", "Sky"};

constexpr const char* kNouns[] = {
    "Adventure", "Alley", "Arena", "Assault", "Attack", "Ball", "Bandit", "Blaster", "Bomber",
    "Boulder", "Bounty", "Breaker", "Castle", "Caverns", "Chase", "Circus", "Commando", "Crusade",
    "Crypt", "Dash", "Defender", "Dragon", "Driver", "Dungeon", "Empire", "Escape", "Express",
    "Factory", "Fighter", "Force", "Fortress", "Frenzy", "Galaxy", "Gauntlet", "Ghost", "Gladiator",
    "Harbour", "Hero", "Hunter", "Invaders", "Island", "Jet", "Journey", "Kingdom", "Knight",
    "Labyrinth", "Legend", "Lords", "Machine", "Mansion", "Maze", "Mission", "Monster", "Ninja",
    "Ocean", "Odyssey", "Outlaw", "Panic", "Patrol", "Pilot", "Pirates", "Planet", "Quest", "Raider",
    "Rally", "Ranger", "Rebel", "Rescue", "Riders", "Robot", "Run", "Runner", "Saga", "Samurai",
    "Shadow", "Shark", "Sorcerer", "Squad", "Storm", "Strike", "Submarine", "Survivor", "Sword",
    "Taxi", "Temple", "Thief", "Tower", "Trap", "Trooper", "Tunnel", "Valley", "Vampire", "Voyage",
    "Warrior", "Wars", "Worm", "Yeti", "Zone"};

constexpr const char* kHeroes[] = {"Jack", "Monty", "Rick", "Willy", "Bruce", "Sam", "Zak", "Roland",
                                   "Henry", "Dizzy", "Ollie", "Thing", "Nick", "Wally", "Jonny"};

constexpr const char* kRomans[] = {"II", "III", "IV", "2", "3", "+", "II", "64"};

constexpr const char* kSports[] = {"Soccer", "Football", "Tennis", "Golf", "Snooker", "Boxing",
                                   "Basketball", "Baseball", "Ice Hockey", "Skiing", "Athletics",
                                   "Karate", "Wrestling", "Darts", "Bowling", "Cycling", "Motocross"};
constexpr const char* kSportForms[] = {"International %s", "%s Manager", "World Class %s",
                                       "%s Challenge", "Pro %s Simulator", "Super %s", "%s 64",
                                       "Championship %s"};

constexpr const char* kSubtitles[] = {"The Lost Temple", "The Final Chapter", "Part II",
                                      "The Lost Levels", "Special Edition", "The Arcade Game",
                                      "The Director's Cut", "A New Beginning"};

constexpr const char* kNumbers[] = {"1942", "1943", "2001", "3D", "10th", "720\xC2\xB0", "4x4",
                                    "007", "99", "180", "1000", "5th", "20000", "3-D"};

constexpr const char* kAccented[] = {
    "D\xC3\xA9j\xC3\xA0 Vu", "\xC3\x9C" "ber Blitz", "Se\xC3\xB1or P\xC3\xA9p\xC3\xA9",
    "Cr\xC3\xA8me de la Cr\xC3\xA8me", "\xC3\x87" "a Plane", "Fu\xC3\x9F" "ball Manager",
    "Ma\xC3\xB1" "ana Express", "\xC3\x98resund Racer", "Z\xC3\xBCrich Express",
    "\xC3\x89" "clipse", "\xC3\x85ngstr\xC3\xB6m", "B\xC3\xA4renjagd", "Die H\xC3\xB6hle",
    "Ch\xC3\xA2teau Noir", "Ni\xC3\xB1o Loco", "Caf\xC3\xA9 Ol\xC3\xA9", "Pi\xC3\xB1" "ata Panic",
    "G\xC3\xB6tterd\xC3\xA4mmerung", "\xC5\x92il de Lynx", "L'\xC3\x89t\xC3\xA9 Indien"};

constexpr const char* kOddTitles[] = {"'Allo %s", "...And Then There Was %s", "#1 %s",
                                      "%s!", "%s...", "Who Dares %s?", "$100,000 %s",
                                      "%s / %s Construction Kit", "Mr. %s", "%s (Preview)"};

constexpr const char* kPublishers[] = {
    "Ocean", "US Gold", "Epyx", "Activision", "Hewson", "Thalamus", "System 3", "Gremlin Graphics",
    "Mastertronic", "Codemasters", "Firebird", "Rainbow Arts", "Kingsoft", "Access Software",
    "Electronic Arts", "Microprose", "Ultimate", "Mindscape", "Infocom", "Broderbund", "Psygnosis",
    "Hi-Tec Software", "Zeppelin Games", "Cosmi", "Atlantis Software", "Alternative Software",
    "Players", "Bug-Byte", "Anco", "Magic Bytes", "Time Warp", "Software Projects", "Imagine",
    "Melbourne House", "Cr\xC3\xA9" "atif Software", "Ariolasoft", "Markt & Technik", "(Public Domain)"};

constexpr const char* kGenres[] = {
    "Action - Shoot'em Up", "Action - Platform", "Action - Beat'em Up", "Sport - Football",
    "Sport - Tennis", "Puzzle", "Adventure - Text", "Adventure - Graphic", "Racing - Car",
    "Racing - Bike", "Strategy - War", "Simulation - Flight", "Role Playing", "Maze",
    "Board Game - Chess", "Educational", "Arcade - Climb", "Arcade - Collect"};

constexpr const char* kPlayers[] = {"1", "1", "1 - 2 (alternating)", "1 - 2 (simultaneous)",
                                    "1 - 4 (alternating)", "2"};
constexpr const char* kControls[] = {"Joystick Port 2", "Joystick Port 2", "Joystick Port 1",
                                     "Keyboard", "Joystick Port 2 & Keyboard", "Paddles"};
constexpr const char* kLanguages[] = {"English", "English", "English", "German", "Italian",
                                      "French", "Dutch", "Swedish", "Polish"};
constexpr const char* kCrackers[] = {"Fairlight", "Ikari", "Triad", "Genesis Project", "Hokuto Force",
                                     "Laxity", "Remember", "Excess", "Onslaught", "Nostalgia"};

constexpr const char* kCommentParts[] = {
    "Guide your hero through a maze of deadly traps and collect every treasure.",
    "Fly the runner through six sectors of the blockade and reach the home base.",
    "One of the best games of its year, with a famous title tune.",
    "Features smooth scrolling, digitised speech and 64 levels.",
    "Save the princess before the evil wizard returns \xE2\x80\x93 if you can.",
    "Released only in Germany; this version has English texts.",
    "Some levels need the second disk; swap when the game asks for it.",
    "Hold fire on the title screen to enter the options menu.",
    "The tape version loads in several parts; the disk version does not.",
    "\xC2\xA9 by the original authors, all rights reserved.",
    "Fixed: sprites flickered on old C64 boards.",
    "Press F1 for one player, F3 for two players, RUN/STOP pauses the game.",
    "Use the trainer menu to get infinite lives and time."};

constexpr const char* kFreeText[] = {
    "This game was restored from the original disk.",
    "Thanks to everyone who helped with this release!",
    "Greetings to all C64 fans around the world.",
    "Check the collection homepage for updates and corrections.",
    "Loading instructions: LOAD\"*\",8,1 and RUN.",
    "Known issue: the high score table is not saved.",
    "Version 2 fixes the crash in level 7."};

constexpr const char* kExtraPrgNames[] = {"INTRO", "LOADER", "PART 2", "PART 3", "HISCORE",
                                          "LEVELS", "MUSIC", "END", "EDITOR", "DOCS"};

constexpr const char* kSubFolders[] = {"Budget", "Compilations", "Previews", "Multi-Disk",
                                       "Unreleased", "Cartridges"};

// HVSC composer folders with the author name their tunes carry.
struct TMusician {
  const char* Folder;
  const char* Author;
};
constexpr TMusician kMusicians[] = {
    {"Hubbard_Rob", "Rob Hubbard"},       {"Galway_Martin", "Martin Galway"},
    {"Daglish_Ben", "Ben Daglish"},       {"Tel_Jeroen", "Jeroen Tel"},
    {"Huelsbeck_Chris", "Chris Huelsbeck"}, {"Whittaker_David", "David Whittaker"},
    {"Follin_Tim", "Tim Follin"},         {"Gray_Matt", "Matt Gray"},
    {"Rowlands_Steve", "Steve Rowlands"}, {"Cooksey_Mark", "Mark Cooksey"},
    {"Dunn_Jonathan", "Jonathan Dunn"},   {"Brennan_Neil", "Neil Brennan"},
    {"Ouwehand_Reyn", "Reyn Ouwehand"},   {"Bjerregaard_Johannes", "Johannes Bjerregaard"},
    {"Tjoelker_Edwin", "Edwin Tjoelker"}, {"Gallagher_Fred", "Fred Gallagher"},
    {"Pasquale_Dario", "Dario Pasquale"}, {"Clarke_Peter", "Peter Clarke"},
    {"Lowe_Richard", "Richard Lowe"},     {"Zulu_Sly", "Sly Zulu"}};

// ---------------------------------------------------------------------------
// Small text helpers.

std::string Fill(const char* form, const std::string& a, const std::string& b = std::string()) {
  std::string out;
  int used = 0;
  for (const char* p = form; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += used++ == 0 ? a : b;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Base letter of a Latin-1 letter (U+00C0..U+00FF), or 0.
char BaseLetter(char32_t c) {
  static constexpr char kLatin1[] = "AAAAAAACEEEEIIIIDNOOOOO OUUUUYTsaaaaaaaceeeeiiiidnooooo ouuuuyty";
  if (c >= 0xC0 && c <= 0xFF) {
    const char b = kLatin1[c - 0xC0];
    return b == ' ' ? 0 : b;
  }
  if (c == 0x152 || c == 0x153) return 'O';
  return 0;
}

// The title with characters that file names cannot hold removed, blanks as
// '_', and no '.' or '_' at either end.
std::string FileNamePart(const std::string& title) {
  std::string out;
  for (const char c : title) {
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) continue;
    if (c == ' ') {
      if (!out.empty() && out.back() != '_') out += '_';
      continue;
    }
    out += c;
  }
  while (!out.empty() && (out.back() == '_' || out.back() == '.')) out.pop_back();
  const size_t first = out.find_first_not_of("._");
  out = first == std::string::npos ? std::string() : out.substr(first);
  return out.empty() ? "Game" : out;
}

// ASCII words of a text, accented letters reduced to their base letter.
std::vector<std::string> AsciiWords(const std::string& text) {
  std::vector<std::string> words(1);
  const std::u16string wide = Utf8ToUtf16(text);
  for (const char16_t c : wide) {
    char a = 0;
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) {
      a = static_cast<char>(c);
    } else {
      a = BaseLetter(c);
    }
    if (a) {
      words.back() += a;
    } else if (!words.back().empty()) {
      words.emplace_back();
    }
  }
  if (words.back().empty()) words.pop_back();
  return words;
}

// The letter folder of a file name part: "A".."Z", "0-9" or "#".
std::string GroupFolder(const std::string& part) {
  std::string_view p = part;
  if (p.size() > 4 && (p.substr(0, 4) == "The_" || p.substr(0, 4) == "THE_")) p.remove_prefix(4);
  const std::u16string wide = Utf8ToUtf16(p.substr(0, 4));
  const char16_t c = wide.empty() ? u'#' : wide[0];
  if (c >= u'0' && c <= u'9') return "0-9";
  char a = (c < 0x80) ? static_cast<char>(c) : BaseLetter(c);
  if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
  if (a >= 'A' && a <= 'Z') return std::string(1, a);
  return "#";
}

// Upper-case ASCII for C64 names: other characters become '?'; cut to `max`.
std::string C64Name(const std::string& text, size_t max) {
  std::string out;
  for (const std::string& w : AsciiWords(text)) {
    if (!out.empty()) out += ' ';
    out += AsciiUpper(w);
  }
  if (out.empty()) out = "GAME";
  if (out.size() > max) out.resize(max);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

void Put16(std::string& b, size_t at, unsigned v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void PutBE16(std::string& b, size_t at, unsigned v) {
  b[at] = static_cast<char>((v >> 8) & 0xFF);
  b[at + 1] = static_cast<char>(v & 0xFF);
}
void PutBE32(std::string& b, size_t at, uint32_t v) {
  PutBE16(b, at, v >> 16);
  PutBE16(b, at + 2, v & 0xFFFF);
}
void PutText(std::string& b, size_t at, std::string_view text, size_t width) {
  for (size_t i = 0; i < width && i < text.size(); ++i) b[at + i] = text[i];
}
uint16_t Get16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t Get32(std::string_view b, size_t at) { return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16; }

uint64_t HashText(std::string_view text) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (const char c : text) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
  return h;
}

// Program-like bytes: a BASIC "SYS 2061" line, then code-ish bytes from a
// small alphabet so the data compresses about as well as real programs.
void AppendProgramBytes(std::string& out, TRandom& rng, size_t count, bool stub = true) {
  static constexpr uint8_t kStub[] = {0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0, 0, 0};
  static constexpr uint8_t kOps[] = {0xA9, 0x8D, 0xAD, 0x20, 0x4C, 0x60, 0xA2, 0xA0, 0xE8, 0xC8,
                                     0xD0, 0xF0, 0x00, 0x01, 0x02, 0x10, 0x20, 0xD0, 0xD0, 0x18,
                                     0x69, 0x85, 0xA5, 0xFF, 0x00, 0x00, 0x04, 0x08};
  for (size_t i = 0; i < count; ++i) {
    out += static_cast<char>(stub && i < sizeof kStub ? kStub[i] : kOps[rng.Below(sizeof kOps)]);
  }
}

// ---------------------------------------------------------------------------
// Image builders.

constexpr size_t kD64Size = 174848;
constexpr int kD64Tracks = 35;

int SectorsPerTrack(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

size_t SectorOffset(int track, int sector) {
  size_t blocks = 0;
  for (int t = 1; t < track; ++t) blocks += static_cast<size_t>(SectorsPerTrack(t));
  return (blocks + static_cast<size_t>(sector)) * 256;
}

// Hands out free sectors and marks them used in the BAM.
class TD64Allocator {
 public:
  explicit TD64Allocator(std::string& image) : image_(image) {}

  void MarkUsed(int track, int sector) {
    const size_t entry = SectorOffset(18, 0) + 4 * static_cast<size_t>(track);
    const uint8_t bit = static_cast<uint8_t>(1u << (sector % 8));
    char& bits = image_[entry + 1 + static_cast<size_t>(sector / 8)];
    if (static_cast<uint8_t>(bits) & bit) {
      bits = static_cast<char>(static_cast<uint8_t>(bits) & ~bit);
      image_[entry] = static_cast<char>(image_[entry] - 1);
    }
  }
  // The next free data sector, from track 17 down, then from track 19 up;
  // false when the disk is full.
  bool Next(int& track, int& sector) {
    while (track_ != 0 && track_ <= kD64Tracks) {
      if (sector_ < SectorsPerTrack(track_)) {
        track = track_;
        sector = sector_++;
        MarkUsed(track, sector);
        return true;
      }
      sector_ = 0;
      track_ = track_ == 1 ? 19 : track_ < 18 ? track_ - 1 : track_ + 1;
    }
    return false;
  }

 private:
  std::string& image_;
  int track_ = 17;
  int sector_ = 0;
};

void BuildD64(const std::string& diskName, const std::vector<std::string>& files, std::string& out) {
  out.assign(kD64Size, '\0');
  const size_t bam = SectorOffset(18, 0);
  out[bam] = 18;
  out[bam + 1] = 1;
  out[bam + 2] = 0x41;
  for (int t = 1; t <= kD64Tracks; ++t) {
    const int n = SectorsPerTrack(t);
    const size_t e = bam + 4 * static_cast<size_t>(t);
    out[e] = static_cast<char>(n);
    const uint32_t bits = (1u << n) - 1;
    out[e + 1] = static_cast<char>(bits & 0xFF);
    out[e + 2] = static_cast<char>((bits >> 8) & 0xFF);
    out[e + 3] = static_cast<char>((bits >> 16) & 0xFF);
  }
  std::fill(out.begin() + static_cast<long>(bam + 0x90), out.begin() + static_cast<long>(bam + 0xAB), '\xA0');
  PutText(out, bam + 0x90, C64Name(diskName, 16), 16);
  const uint64_t h = HashText(diskName);
  out[bam + 0xA2] = static_cast<char>('0' + h % 10);
  out[bam + 0xA3] = static_cast<char>('A' + (h >> 8) % 26);
  out[bam + 0xA5] = '2';
  out[bam + 0xA6] = 'A';

  TD64Allocator alloc(out);
  alloc.MarkUsed(18, 0);
  const size_t count = std::min<size_t>(files.size(), 18 * 8);
  const int dirSectors = std::max(1, static_cast<int>((count + 7) / 8));
  for (int s = 1; s <= dirSectors; ++s) {
    alloc.MarkUsed(18, s);
    const size_t at = SectorOffset(18, s);
    out[at] = static_cast<char>(s < dirSectors ? 18 : 0);
    out[at + 1] = static_cast<char>(s < dirSectors ? s + 1 : 0xFF);
  }
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = SectorOffset(18, static_cast<int>(i / 8 + 1)) + (i % 8) * 32;
    TRandom rng(HashText(files[i]) ^ h);
    const int blocks = rng.Range(1, 4);
    int track = 0;
    int sector = 0;
    int used = 0;
    size_t previous = 0;
    for (int b = 0; b < blocks && alloc.Next(track, sector); ++b, ++used) {
      const size_t at = SectorOffset(track, sector);
      if (b == 0) {
        out[entry + 3] = static_cast<char>(track);
        out[entry + 4] = static_cast<char>(sector);
      } else {
        out[previous] = static_cast<char>(track);
        out[previous + 1] = static_cast<char>(sector);
      }
      std::string data;
      if (b == 0) data = "\x01\x08";
      AppendProgramBytes(data, rng, 254 - data.size(), b == 0);
      const size_t length = b + 1 == blocks ? static_cast<size_t>(rng.Range(20, 254)) : 254;
      PutText(out, at + 2, data, length);
      out[at] = 0;
      out[at + 1] = static_cast<char>(length + 1);
      previous = at;
    }
    out[entry + 2] = static_cast<char>(0x82);
    std::fill(out.begin() + static_cast<long>(entry + 5), out.begin() + static_cast<long>(entry + 21), '\xA0');
    PutText(out, entry + 5, C64Name(files[i], 16), 16);
    Put16(out, entry + 30, static_cast<unsigned>(used));
  }
}

void BuildT64(const std::string& tapeName, const std::vector<std::pair<std::string, std::string>>& files,
              std::string& out) {
  const size_t slots = std::max<size_t>(8, (files.size() + 7) / 8 * 8);
  out.assign(64 + 32 * slots, '\0');
  PutText(out, 0, "C64S tape image file", 32);
  Put16(out, 32, 0x0101);
  Put16(out, 34, static_cast<unsigned>(slots));
  Put16(out, 36, static_cast<unsigned>(files.size()));
  std::fill(out.begin() + 40, out.begin() + 64, ' ');
  PutText(out, 40, tapeName, 24);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& data = files[i].second;
    const bool hasAddress = data.size() >= 2;
    const unsigned load = hasAddress ? Get16(data, 0) : 0x0801;
    const size_t body = hasAddress ? data.size() - 2 : 0;
    const size_t slot = 64 + 32 * i;
    out[slot] = 1;
    out[slot + 1] = static_cast<char>(0x82);
    Put16(out, slot + 2, load);
    Put16(out, slot + 4, static_cast<unsigned>((load + body) & 0xFFFF));
    Put32(out, slot + 8, static_cast<uint32_t>(out.size()));
    std::fill(out.begin() + static_cast<long>(slot + 16), out.begin() + static_cast<long>(slot + 32), ' ');
    PutText(out, slot + 16, files[i].first, 16);
    if (hasAddress) out.append(data, 2, std::string::npos);
  }
}

void BuildCrt(const std::string& name, TRandom& rng, std::string& out) {
  const bool big = rng.Percent(30);
  const size_t romSize = big ? 0x4000 : 0x2000;
  out.assign(0x40 + 0x10 + romSize, '\0');
  PutText(out, 0, "C64 CARTRIDGE   ", 16);
  PutBE32(out, 0x10, 0x40);
  PutBE16(out, 0x14, 0x0100);
  PutBE16(out, 0x16, 0);
  out[0x18] = 0;                      // EXROM active
  out[0x19] = static_cast<char>(big ? 0 : 1);  // GAME active only for 16K
  PutText(out, 0x20, C64Name(name, 32), 32);
  PutText(out, 0x40, "CHIP", 4);
  PutBE32(out, 0x44, static_cast<uint32_t>(0x10 + romSize));
  PutBE16(out, 0x48, 0);
  PutBE16(out, 0x4A, 0);
  PutBE16(out, 0x4C, 0x8000);
  PutBE16(out, 0x4E, static_cast<unsigned>(romSize));
  const size_t rom = 0x50;
  static constexpr char kHeader[] = {'\x09', '\x80', '\x09', '\x80', '\xC3', '\xC2', '\xCD', '8', '0'};
  PutText(out, rom, std::string_view(kHeader, sizeof kHeader), sizeof kHeader);
  std::string code;
  AppendProgramBytes(code, rng, static_cast<size_t>(rng.Range(800, 3000)));
  PutText(out, rom + 9, code, romSize - 9);
  std::fill(out.begin() + static_cast<long>(rom + 9 + code.size()), out.end(), '\xFF');
}

void BuildTap(TRandom& rng, std::string& out) {
  out.assign(20, '\0');
  PutText(out, 0, "C64-TAPE-RAW", 12);
  out[12] = 1;
  out.append(static_cast<size_t>(rng.Range(2000, 6000)), '\x2F');
  static constexpr char kPulses[] = {'\x2F', '\x42', '\x2F', '\x56'};
  const size_t data = static_cast<size_t>(rng.Range(1500, 6000));
  for (size_t i = 0; i < data; ++i) out += kPulses[rng.Below(4)];
  out.append(500, '\x2F');
  Put32(out, 16, static_cast<uint32_t>(out.size() - 20));
}

void BuildG64(TRandom& rng, std::string& out) {
  constexpr size_t kTracks = 84;
  constexpr size_t kTrackSize = 7928;
  const size_t header = 12 + 8 * kTracks;
  out.assign(header + 2 + kTrackSize, '\0');
  PutText(out, 0, "GCR-1541", 8);
  out[8] = 0;
  out[9] = static_cast<char>(kTracks);
  Put16(out, 10, kTrackSize);
  Put32(out, 12, static_cast<uint32_t>(header));   // track 1 only
  Put32(out, 12 + 4 * kTracks, 3);                 // speed zone of track 1
  const size_t length = 7692;
  Put16(out, header, length);
  for (size_t i = 0; i < length; ++i) {
    const size_t in = i % 361;
    out[header + 2 + i] = in < 5 ? '\xFF' : in < 15 ? '\x55' : static_cast<char>(0x52 + rng.Below(8) * 4);
  }
}

void BuildSmallImage(const char* magic, const std::string& name, TRandom& rng, size_t size, std::string& out) {
  out.assign(size, '\0');
  PutText(out, 0, magic, std::string_view(magic).size());
  std::fill(out.begin() + 4, out.begin() + 20, '\xA0');
  PutText(out, 4, C64Name(name, 16), 16);
  std::string code;
  AppendProgramBytes(code, rng, std::min<size_t>(size - 256, 2048));
  PutText(out, 256, code, size - 256);
}

std::string BuildPsid(const std::string& title, const char* author, const std::string& released,
                      uint64_t seed, bool asPrg) {
  TRandom rng(seed);
  std::string code("\x00\x10", 2);
  code += "\x4C\x20\x10\x4C\x40\x10";
  AppendProgramBytes(code, rng, static_cast<size_t>(rng.Range(300, 1800)));
  if (asPrg) return code;
  std::string out(0x7C, '\0');
  PutText(out, 0, "PSID", 4);
  PutBE16(out, 4, 2);
  PutBE16(out, 6, 0x7C);
  PutBE16(out, 0x0A, 0x1000);
  PutBE16(out, 0x0C, 0x1003);
  PutBE16(out, 0x0E, static_cast<unsigned>(rng.Range(1, 6)));
  PutBE16(out, 0x10, 1);
  PutText(out, 0x16, Utf8ToCp1252(title), 31);
  PutText(out, 0x36, author, 31);
  PutText(out, 0x56, Utf8ToCp1252(released), 31);
  PutBE16(out, 0x76, 0x14);
  return out + code;
}

// ---------------------------------------------------------------------------
// Zip post-processing.

// libzip stamps members with the time of writing; a fixed stamp
// (1994-06-21 12:00) makes the bytes depend on the seed alone.
void FixZipTimes(std::string& zip) {
  constexpr unsigned kTime = 12u << 11;
  constexpr unsigned kDate = (14u << 9) | (6u << 5) | 21u;
  if (zip.size() < 22) return;
  const size_t eocd = zip.size() - 22;
  if (Get32(zip, eocd) != 0x06054B50) throw Error("zip without end record");
  const unsigned count = Get16(zip, eocd + 10);
  size_t at = Get32(zip, eocd + 16);
  for (unsigned i = 0; i < count; ++i) {
    if (at + 46 > zip.size() || Get32(zip, at) != 0x02014B50) throw Error("unexpected zip directory");
    Put16(zip, at + 12, kTime);
    Put16(zip, at + 14, kDate);
    const size_t local = Get32(zip, at + 42);
    if (local + 30 > zip.size() || Get32(zip, local) != 0x04034B50) throw Error("unexpected zip header");
    Put16(zip, local + 10, kTime);
    Put16(zip, local + 12, kDate);
    at += 46 + Get16(zip, at + 28) + Get16(zip, at + 30) + Get16(zip, at + 32);
  }
}

// Overwrites the start of the first member's compressed data with 0xFF
// bytes: a deflate block of the reserved type, which no reader accepts.
void DamageFirstMember(std::string& zip) {
  const size_t data = 30 + Get16(zip, 26) + Get16(zip, 28);
  const size_t length = std::min<size_t>(Get32(zip, 18), 16);
  for (size_t i = 0; i < length && data + i < zip.size(); ++i) zip[data + i] = '\xFF';
}

// ---------------------------------------------------------------------------
// The plan: every decision that spans games, made in one serial pass.

enum class TSpecial : uint8_t {
  spNone, spNotAZip, spTruncated, spCorruptNfo, spNoNfo, spNoName, spHidden, spBigID, spNoID1,
  spNoID2, spZipFolder, spUpperExt, spDotFile, spSidOneBlank, spReadmeOnly, spBadTape,
  spNameNextLine, spNameTrailing, spLowerLabels, spSubFolder1, spSubFolder2, spSubFolder3,
  spSidBackslash, spSidCase, spSidPrg, spSidMissing, spCount
};
using enum TSpecial;
static_assert(static_cast<int>(spCount) - 1 <= kMinSpecialGames);

struct TGamePlan {
  uint64_t Seed = 0;
  TSpecial Special = spNone;
  std::string BaseName;  // the file name part that member names start with
  bool SidUpperSuffix = false;
};

// A tune of the HVSC tree.
struct TTune {
  std::string Path;    // "/MUSICIANS/H/Hubbard_Rob/Commando", case as on disk
  int Kind = 0;        // 0 missing, 1 ".sid", 2 ".prg" only
  std::string Title;   // the game title it comes from
  const char* Author = "";
  uint64_t Seed = 0;
};

std::string MakeTitle(TRandom& rng) {
  const auto the = [&rng](std::string t) { return rng.Percent(18) ? "The " + t : t; };
  const std::string adj = rng.Pick(kAdjectives);
  const std::string noun = rng.Pick(kNouns);
  const std::string noun2 = rng.Pick(kNouns);
  const uint32_t r = rng.Below(100);
  if (r < 22) return the(adj + " " + noun);
  if (r < 36) return the(noun + " " + noun2);
  if (r < 41) return the(noun + " of the " + noun2);
  if (r < 45) return the(noun);
  if (r < 50) return std::string(rng.Pick(kHeroes)) + "'s " + noun;
  if (r < 57) {
    const std::string first = rng.Percent(50) ? adj + " " + noun : noun;
    return first + " " + rng.Pick(kRomans);
  }
  if (r < 63) {
    const std::string sub = rng.Percent(50) ? std::string(rng.Pick(kSubtitles)) : "Return of the " + noun2;
    return adj + " " + noun + ": " + sub;
  }
  if (r < 70) return std::string(rng.Pick(kNumbers)) + " " + noun;
  if (r < 76) return Fill(rng.Pick(kSportForms), rng.Pick(kSports));
  if (r < 80) return noun + " & " + noun2;
  if (r < 88) return Fill(rng.Pick(kOddTitles), noun, noun2);
  if (r < 92) {
    const std::string accented = rng.Pick(kAccented);
    return rng.Percent(60) ? accented : accented + " " + rng.Pick(kRomans);
  }
  return the(adj + " " + noun + " " + noun2);
}

std::string TuneName(const std::string& title) {
  std::vector<std::string> words = AsciiWords(title);
  if (!words.empty() && AsciiUpper(words[0]) == "THE") words.erase(words.begin());
  std::string out;
  for (size_t i = 0; i < words.size() && i < 4; ++i) out += (i ? "_" : "") + words[i];
  return out.empty() ? "Tune" : out;
}

// ---------------------------------------------------------------------------
// VERSION.NFO.

void AddLabel(std::string& nfo, const char* label, const std::string& value) {
  std::string line = label;
  if (line.size() < 14) line.append(14 - line.size(), ' ');
  nfo += line + value + "\r\n";
}

// The NFO text in UTF-8; the caller encodes it.
std::string MakeNfo(TRandom& rng, const TSampleGame& game, const TGamePlan& plan) {
  const bool lower = plan.Special == spLowerLabels;
  std::string nfo;
  if (plan.Special == spNoName) {
    AddLabel(nfo, "Title:", game.Title);
  } else if (plan.Special == spNameNextLine) {
    nfo += "Name:\r\n              " + game.Title + "\r\n";
  } else {
    AddLabel(nfo, lower ? "name:" : "Name:", game.Title + (plan.Special == spNameTrailing ? "   " : ""));
  }
  const std::string year = std::to_string(rng.Range(1982, 1994));
  AddLabel(nfo, "Published:", year + " " + rng.Pick(kPublishers));
  AddLabel(nfo, "Genre:", rng.Pick(kGenres));
  AddLabel(nfo, "Players:", rng.Pick(kPlayers));
  AddLabel(nfo, "Control:", rng.Pick(kControls));
  if (rng.Percent(60)) AddLabel(nfo, "Language:", rng.Pick(kLanguages));
  if (!game.UniqueIDText.empty()) AddLabel(nfo, lower ? "unique-id:" : "Unique-ID:", game.UniqueIDText);
  if (!game.SidText.empty()) {
    const std::string value = game.SidText + (plan.SidUpperSuffix ? ".SID" : ".sid");
    if (plan.Special == spSidOneBlank) {
      nfo += "SID: " + value + "\r\n";
    } else {
      AddLabel(nfo, lower ? "sid:" : "SID:", value);
    }
  }
  if (rng.Percent(40)) AddLabel(nfo, "Trainers:", std::to_string(rng.Range(1, 6)));
  if (rng.Percent(50)) AddLabel(nfo, "Cracked by:", rng.Pick(kCrackers));
  nfo += "\r\n";
  nfo += std::string(static_cast<size_t>(rng.Range(20, 60)), '-') + "\r\n";
  if (rng.Percent(85)) {
    std::string comment;
    const int parts = rng.Range(1, 3);
    for (int i = 0; i < parts; ++i) comment += (i ? " " : "") + std::string(rng.Pick(kCommentParts));
    AddLabel(nfo, "Comment:", comment);
  }
  if (rng.Percent(15)) {
    AddLabel(nfo, "Notes:", "\\TAPES\\A-F\\" + AsciiLower(plan.BaseName) + "_with_long_name.t64");
  }
  nfo += "\r\n";
  const int free = rng.Range(0, 3);
  for (int i = 0; i < free; ++i) nfo += std::string(rng.Pick(kFreeText)) + "\r\n";
  if (rng.Percent(40)) nfo += std::string(static_cast<size_t>(rng.Range(10, 70)), '=') + "\r\n";
  return nfo;
}

// ---------------------------------------------------------------------------
// Writing one game.

bool IsImageExtension(const std::string& ext) {
  static constexpr const char* kImages[] = {".D64", ".D81", ".CRT", ".TAP", ".G64", ".REU", ".T64"};
  return std::find(std::begin(kImages), std::end(kImages), ext) != std::end(kImages);
}

// Writes games; one writer per thread, its buffers reused game after game.
class TGameWriter {
 public:
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

std::string& TGameWriter::Add(const std::string& name, bool deflate) {
  const size_t i = entries_.size();
  if (pool_.size() <= i) pool_.resize(i + 1);
  entries_.push_back({name, std::move(pool_[i]), deflate});
  entries_.back().Data.clear();
  return entries_.back().Data;
}

void TGameWriter::AddD64Set(TRandom& rng, const TGamePlan& plan, int disks, const std::string& folder) {
  const std::string& base = plan.BaseName;
  const uint32_t form = rng.Below(5);
  const char* ext = rng.Percent(50) ? ".d64" : ".D64";
  for (int d = 1; d <= disks; ++d) {
    const std::string n = std::to_string(d);
    std::string name;
    if (disks == 1) {
      name = rng.Percent(10) ? AsciiLower(base) : base;
      name += rng.Percent(15) ? ".d64" : ext;
    } else if (form == 0) {
      name = base + " (Disk " + n + ")" + ext;
    } else if (form == 1) {
      name = base + "_Disk" + n + ext;
    } else if (form == 2) {
      name = base + " Side " + std::string(1, static_cast<char>('A' + d - 1)) + ext;
    } else if (form == 3) {
      name = base + "-" + n + ext;
    } else {
      name = std::string(d == 2 ? "Disk" : "disk") + n + (d == 3 ? ".D64" : ".d64");
    }
    std::vector<std::string> files;
    if (d == 1) files.push_back(base);
    const int count = rng.Range(d == 1 ? 0 : 1, 5);
    for (int f = 0; f < count; ++f) files.push_back(rng.Pick(kExtraPrgNames) + std::string(" ") + n);
    BuildD64(base + (disks > 1 ? " " + n : ""), files, Add(folder + name, !rng.Percent(1)));
  }
}

void TGameWriter::AddT64(TRandom& rng, const TGamePlan& plan, TSampleGame& game) {
  prgs_.resize(static_cast<size_t>(rng.Range(2, 5)));
  for (size_t i = 0; i < prgs_.size(); ++i) {
    prgs_[i].first = i == 0 ? C64Name(game.Title, 16) : std::string(rng.Pick(kExtraPrgNames));
    prgs_[i].second = "\x01\x08";
    AppendProgramBytes(prgs_[i].second, rng, static_cast<size_t>(rng.Range(200, 6000)));
  }
  const char* ext = rng.Percent(60) ? ".t64" : ".T64";
  BuildT64(C64Name(game.Title, 24), prgs_, Add(plan.BaseName + ext, !rng.Percent(10)));
  game.TapeFileCount += static_cast<int>(prgs_.size());
}

void TGameWriter::Count(TSampleGame& game) const {
  for (const TZipWriterEntry& e : entries_) {
    game.Entries.push_back(e.Name);
    if (e.Name.back() == '/') continue;
    const std::string file = ExtractFileName(e.Name);
    const size_t dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : AsciiUpper(file.substr(dot));
    if (ext == ".NFO") continue;
    if (!IsImageExtension(ext)) {
      ++game.UnhandledCount;
      continue;
    }
    ++game.ImageCount;
    if (ext == ".D64") ++game.D64Count;
  }
}

void TGameWriter::Write(const TGamePlan& plan, TSampleGame& game) {
  TRandom rng(plan.Seed);
  entries_.clear();
  if (game.Flaw == sfNotAZip) {
    const std::string text = "This is not a zip archive, only a text file named like one.\r\n";
    WriteWholeFile(game.ZipPath, text.data(), text.size());
    return;
  }
  const bool nfoFirst = game.Flaw == sfCorruptNfo || rng.Percent(55);
  std::string nfo;
  if (game.Flaw != sfNoNfo) nfo = Utf8ToCp1252(MakeNfo(rng, game, plan));
  const bool nfoDeflate = game.Flaw == sfCorruptNfo || !rng.Percent(10);
  if (nfoFirst && !nfo.empty()) Add("VERSION.NFO", nfoDeflate) = nfo;

  const std::string& base = plan.BaseName;
  const std::string folder = rng.Percent(3) ? (rng.Percent(50) ? "Disks/" : "extras/") : std::string();
  if (!folder.empty() && rng.Percent(50)) Add(folder, true);
  const uint32_t kind = plan.Special == spReadmeOnly ? 1000 : plan.Special == spBadTape ? 0 : rng.Below(100);
  if (kind < 58) {
    const uint32_t r = rng.Below(100);
    AddD64Set(rng, plan, r < 72 ? 1 : r < 88 ? 2 : r < 95 ? 3 : 4, folder);
    if (plan.Special == spBadTape) {
      Add(base + ".t64", true) = std::string("This file was damaged in transfer.\r\n") + std::string(200, '\0');
      game.BadTape = true;
    } else if (rng.Percent(8)) {
      AddT64(rng, plan, game);
    }
  } else if (kind < 76) {
    AddT64(rng, plan, game);
    if (rng.Percent(10)) AddD64Set(rng, plan, 1, folder);
  } else if (kind < 95) {
    const bool lower = rng.Percent(60);
    const bool deflate = !rng.Percent(10);
    if (kind < 84) {
      BuildCrt(game.Title, rng, Add(folder + base + (lower ? ".crt" : ".CRT"), deflate));
    } else if (kind < 90) {
      BuildTap(rng, Add(folder + base + (lower ? ".tap" : ".TAP"), deflate));
      if (rng.Percent(20)) AddT64(rng, plan, game);
    } else {
      BuildG64(rng, Add(folder + base + (lower ? ".g64" : ".G64"), deflate));
      if (rng.Percent(30)) AddD64Set(rng, plan, 1, std::string());
    }
  } else if (kind < 98) {
    BuildSmallImage("(D)", game.Title, rng, 12288, Add(folder + base + ".d81", true));
  } else if (kind < 100) {
    BuildSmallImage("REU", game.Title, rng, 16384, Add(base + ".reu", true));
    AddD64Set(rng, plan, 1, folder);
  }

  if (plan.Special == spReadmeOnly || rng.Percent(8)) {
    const char* name = rng.Pick({"readme.txt", "README.TXT", "Readme.txt"});
    Add(name, true) = "Readme for " + Utf8ToCp1252(game.Title) + "\r\nLoad with LOAD\"*\",8,1\r\n";
  }
  if (plan.Special != spReadmeOnly) {
    if (rng.Percent(2)) Add("FILE_ID.DIZ", true) = "Vondral 64 collection\r\n";
    if (rng.Percent(1)) Add("LOADER", false) = "\x01\x08\x60";
    if (rng.Percent(1)) Add("cover.jpg", false) = "\xFF\xD8\xFF\xE0 not really a picture";
    if (rng.Percent(2)) Add("info.nfo", true) = "Additional notes.\r\n";
  }
  if (!nfoFirst && !nfo.empty()) Add("VERSION.NFO", nfoDeflate) = nfo;
  Count(game);

  WriteZipFile(game.ZipPath, entries_);
  for (size_t i = 0; i < entries_.size(); ++i) pool_[i] = std::move(entries_[i].Data);
  entries_.clear();

  zip_ = ReadWholeFileAsString(game.ZipPath);
  try {
    FixZipTimes(zip_);
  } catch (const Error& e) {
    throw Error(game.ZipPath + ": " + e.what());
  }
  if (game.Flaw == sfTruncated) zip_.resize(zip_.size() / 2);
  if (game.Flaw == sfCorruptNfo) DamageFirstMember(zip_);
  WriteWholeFile(game.ZipPath, zip_.data(), zip_.size());
}

// ---------------------------------------------------------------------------
// The collection.

class TCollectionBuilder {
 public:
  TCollectionBuilder(const std::string& outDir, const TSampleOptions& options)
      : options_(options), rng_(GameSeed(options.Seed, -1)) {
    out_ = IncludeTrailingDelimiter(outDir);
    result_.GamesDir = out_ + "games/";
    if (options.WithHvsc) result_.HvscDir = out_ + "hvsc/";
    if (options.WithRomList) result_.RomListFile = out_ + "romlist.xml";
  }

  TSampleCollection Run();

 private:
  void PlanGame(int index, TSpecial special, int32_t& nextID);
  void PlanSid(TSampleGame& game, TGamePlan& plan, int index);
  void MakeFolder(const std::string& path);
  void WriteGames();
  void WriteHvsc();
  void WriteRomList();

  const TSampleOptions options_;
  TRandom rng_;
  std::string out_;
  TSampleCollection result_;
  std::vector<TGamePlan> plans_;
  std::map<std::string, TTune> tunes_;  // by lower-case path
  std::set<std::string> zipNames_;      // lower-case zip paths taken
  std::set<std::string> folders_;       // folders created
};

void TCollectionBuilder::MakeFolder(const std::string& path) {
  if (!folders_.insert(path).second) return;
  if (!ForceDirectories(path)) throw SystemError(path, errno);
}

void TCollectionBuilder::PlanSid(TSampleGame& game, TGamePlan& plan, int index) {
  const TSpecial special = plan.Special;
  const int forcedKind = special == spSidBackslash || special == spSidCase ? 1
                         : special == spSidPrg                            ? 2
                         : special == spSidMissing                        ? 0
                                                                          : -1;
  const TMusician& m = kMusicians[rng_.Below(std::size(kMusicians))];
  const bool inGames = rng_.Percent(12);
  std::string tune = TuneName(game.Title);
  TTune* t = nullptr;
  for (;;) {
    std::string path;
    if (!inGames) {
      path = std::string("/MUSICIANS/") + m.Folder[0] + "/" + m.Folder + "/" + tune;
    } else {
      const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(tune[0])));
      const char* range = c <= '9' ? "0-9" : c <= 'F' ? "A-F" : c <= 'L' ? "G-L" : c <= 'R' ? "M-R" : "S-Z";
      path = std::string("/GAMES/") + range + "/" + tune;
    }
    auto [it, fresh] = tunes_.try_emplace(AsciiLower(path));
    t = &it->second;
    if (fresh) {
      const uint32_t r = rng_.Below(100);
      const int kind = forcedKind >= 0 ? forcedKind : r < 80 ? 1 : r < 86 ? 2 : 0;
      *t = {path, kind, game.Title, m.Author, rng_.Next()};
    }
    if (forcedKind < 0 || t->Kind == forcedKind) break;
    tune += "_" + std::to_string(index);
  }
  std::string text = t->Path;
  const uint32_t form = special == spSidBackslash ? 0 : special == spSidCase ? 4 : rng_.Below(100);
  if (form < 4) {
    std::replace(text.begin(), text.end(), '/', '\\');
  } else if (form < 8) {
    const size_t last = text.rfind('/');
    text = AsciiUpper(text.substr(0, last)) + AsciiLower(text.substr(last));
  }
  plan.SidUpperSuffix = rng_.Percent(4);
  game.SidText = text;
  if (special != spSidOneBlank) {
    game.SidPath = text;
    std::replace(game.SidPath.begin(), game.SidPath.end(), '\\', '/');
  }
  if (options_.WithHvsc && t->Kind != 0) {
    game.SidInHvsc = true;
    game.SidFileOnDisk = t->Path.substr(1) + (t->Kind == 1 ? ".sid" : ".prg");
  }
}

void TCollectionBuilder::PlanGame(int index, TSpecial special, int32_t& nextID) {
  TSampleGame& game = result_.Games[static_cast<size_t>(index)];
  TGamePlan& plan = plans_[static_cast<size_t>(index)];
  plan.Seed = GameSeed(options_.Seed, index);
  plan.Special = special;

  if (index >= 10 && rng_.Percent(3)) {
    const std::string& earlier = result_.Games[rng_.Below(static_cast<uint32_t>(index))].Title;
    game.Title = rng_.Percent(25) ? AsciiUpper(earlier) : earlier;
  } else {
    game.Title = MakeTitle(rng_);
  }
  nextID += rng_.Range(1, 3);
  game.UniqueID = nextID;
  const uint32_t idForm = rng_.Below(10);
  game.UniqueIDText = Format(idForm < 7 ? "%05d" : idForm < 9 ? "%d" : "%07d", nextID);
  if (special == spNoID1 || special == spNoID2 || rng_.Percent(1)) {
    game.UniqueID = -1;
    game.UniqueIDText.clear();
  } else if (special == spBigID) {
    game.UniqueID = -1;
    game.UniqueIDText = "2147483648";
  }
  switch (special) {
    case spNotAZip: game.Flaw = sfNotAZip; break;
    case spTruncated: game.Flaw = sfTruncated; break;
    case spCorruptNfo: game.Flaw = sfCorruptNfo; break;
    case spNoNfo: game.Flaw = sfNoNfo; break;
    case spNoName: game.Flaw = sfNoName; break;
    default: break;
  }
  game.Valid = game.Flaw == sfNone;
  game.Hidden = special == spHidden;
  if (special == spNotAZip) {
    game.Title.clear();
    game.UniqueID = -1;
    game.UniqueIDText.clear();
  }
  plan.BaseName = FileNamePart(game.Title);

  std::string folder = result_.GamesDir;
  const std::string group = GroupFolder(plan.BaseName);
  if (special == spHidden) {
    folder += ".hidden/";
  } else if (special == spNotAZip) {
    // top level of the games folder
  } else if (special == spZipFolder) {
    folder += group + "/Misc.zip/";
  } else if (special == spSubFolder1 || special == spSubFolder2 || special == spSubFolder3 ||
             rng_.Percent(2)) {
    folder += group + "/" + rng_.Pick(kSubFolders) + "/";
  } else {
    folder += group + "/";
  }
  MakeFolder(folder);
  std::string name = special == spNotAZip ? std::string("notazip")
                                          : plan.BaseName + "_" +
                                                (game.UniqueIDText.empty() ? "n" + std::to_string(index)
                                                                           : game.UniqueIDText);
  if (special == spDotFile) name = "." + name;
  const char* ext = special == spUpperExt ? ".ZIP" : ".zip";
  while (!zipNames_.insert(AsciiLower(folder + name + ext)).second) name += "_b";
  game.ZipPath = folder + name + ext;

  const bool forcedSid = special == spSidOneBlank || special == spSidBackslash || special == spSidCase ||
                         special == spSidPrg || special == spSidMissing;
  if (forcedSid || (special != spNotAZip && rng_.Percent(35))) PlanSid(game, plan, index);
  game.InRomList = options_.WithRomList && game.Valid && !game.Hidden && game.UniqueID >= 0 && rng_.Percent(50);
}

void TCollectionBuilder::WriteGames() {
  const size_t count = result_.Games.size();
  const unsigned threads = count < 64 ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::exception_ptr> errors(threads);
  const auto work = [&](unsigned t) {
    TGameWriter writer;
    try {
      for (size_t i = next++; i < count && !failed; i = next++) writer.Write(plans_[i], result_.Games[i]);
    } catch (...) {
      errors[t] = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& t : pool) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

void TCollectionBuilder::WriteHvsc() {
  for (const TMusician& m : kMusicians) {
    const std::string path = std::string("/MUSICIANS/") + m.Folder[0] + "/" + m.Folder + "/Demo_Tune";
    tunes_.try_emplace(AsciiLower(path), TTune{path, 1, "Demo Tune", m.Author, HashText(path)});
  }
  for (const auto& [key, tune] : tunes_) {
    if (tune.Kind == 0) continue;
    const std::string file = result_.HvscDir + tune.Path.substr(1) + (tune.Kind == 1 ? ".sid" : ".prg");
    MakeFolder(ExtractFilePath(file));
    const std::string data = BuildPsid(tune.Title, tune.Author, "1987", tune.Seed, tune.Kind == 2);
    WriteWholeFile(file, data.data(), data.size());
  }
  MakeFolder(result_.HvscDir + "DOCUMENTS/");
  const std::string readme = "High Voltage SID Collection (sample)\r\n";
  WriteWholeFile(result_.HvscDir + "DOCUMENTS/hv_sids.txt", readme.data(), readme.size());
}

void TCollectionBuilder::WriteRomList() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<romlist>\r\n";
  for (const TSampleGame& game : result_.Games) {
    if (!game.InRomList) continue;
    xml += "  <game name=\"" + std::to_string(game.UniqueID) + "\">\r\n";
    xml += "    <description>" + XmlEscape(game.Title) + "</description>\r\n";
    xml += "    <platform>Commodore 64</platform>\r\n  </game>\r\n";
  }
  xml += "</romlist>\r\n";
  WriteWholeFile(result_.RomListFile, xml.data(), xml.size());
}

TSampleCollection TCollectionBuilder::Run() {
  const int count = std::max(0, options_.GameCount);
  result_.Games.resize(static_cast<size_t>(count));
  plans_.resize(static_cast<size_t>(count));
  std::vector<TSpecial> specials(static_cast<size_t>(count), spNone);
  if (count >= kMinSpecialGames) {
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    for (int k = 1; k < static_cast<int>(spCount); ++k) {
      const size_t j = static_cast<size_t>(k - 1) + rng_.Below(static_cast<uint32_t>(count - k + 1));
      std::swap(order[static_cast<size_t>(k - 1)], order[j]);
      specials[static_cast<size_t>(order[static_cast<size_t>(k - 1)])] = static_cast<TSpecial>(k);
    }
  }
  MakeFolder(result_.GamesDir);
  int32_t nextID = count;
  for (int i = 0; i < count; ++i) PlanGame(i, specials[static_cast<size_t>(i)], nextID);
  WriteGames();
  if (options_.WithHvsc) WriteHvsc();
  if (options_.WithRomList) WriteRomList();
  return std::move(result_);
}

}  // namespace

TSampleCollection GenerateSampleCollection(const std::string& outDir, const TSampleOptions& options) {
  return TCollectionBuilder(outDir, options).Run();
}

std::string MakeD64Image(const std::string& diskName, const std::vector<std::string>& files) {
  std::string out;
  BuildD64(diskName, files, out);
  return out;
}

std::string MakeT64Archive(const std::string& tapeName,
                           const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out;
  BuildT64(tapeName, files, out);
  return out;
}

}  // namespace vq::tools
