#include "tools/sample_nfo.h"

#include <cstddef>

#include "base/text.h"

namespace vq::tools {

namespace {

constexpr const char* kPublishers[] = {
    "Ocean", "US Gold", "Epyx", "Activision", "Hewson", "Thalamus", "System 3", "Gremlin Graphics",
    "Mastertronic", "Codemasters", "Firebird", "Rainbow Arts", "Kingsoft", "Access Software",
    "Electronic Arts", "Microprose", "Ultimate", "Mindscape", "Infocom", "Broderbund", "Psygnosis",
    "Hi-Tec Software", "Zeppelin Games", "Cosmi", "Atlantis Software", "Alternative Software",
    "Players", "Bug-Byte", "Anco", "Magic Bytes", "Time Warp", "Software Projects", "Imagine",
    "Melbourne House", ("Cr\xC3\xA9" "atif Software"), "Ariolasoft", "Markt & Technik", "(Public Domain)"};

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

// Appends "<label><value>" with the label padded to 14 columns.
void AddLabel(std::string& nfo, const char* label, const std::string& value) {
  std::string line = label;
  if (line.size() < 14) line.append(14 - line.size(), ' ');
  nfo += line + value + "\r\n";
}

}  // namespace

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
    for (int i = 0; i < parts; ++i) {
      if (i) comment += ' ';
      comment += rng.Pick(kCommentParts);
    }
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

}  // namespace vq::tools
