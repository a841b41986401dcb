#include "tools/sample_titles.h"

#include <string_view>
#include <vector>

#include "base/text.h"

namespace vq::tools {

namespace {

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

// `form` with its first "%s" replaced by `a`, any later one by `b`.
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
    return b == ' ' ? '\0' : b;
  }
  if (c == 0x152 || c == 0x153) return 'O';
  return 0;
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

}  // namespace

std::string MakeTitle(TRandom& rng) {
  const auto the = [&rng](const std::string& t) { return rng.Percent(18) ? "The " + t : t; };
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

std::string TuneName(const std::string& title) {
  std::vector<std::string> words = AsciiWords(title);
  if (!words.empty() && AsciiUpper(words[0]) == "THE") words.erase(words.begin());
  std::string out;
  for (size_t i = 0; i < words.size() && i < 4; ++i) out += (i ? "_" : "") + words[i];
  return out.empty() ? "Tune" : out;
}

}  // namespace vq::tools
