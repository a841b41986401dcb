// Reformats 10,000 NFO texts of 2 KiB each, as the extraction of a large
// collection does, and reports the time of the best of several rounds.
//
//   bench_nfo [texts] [rounds]

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/regex.h"
#include "base/text.h"
#include "engine/nfo_reformat.h"
#include "bench/bench_util.h"

namespace {

constexpr size_t kTextBytes = 2048;

const char* const kWords[] = {
    "the",    "runner", "through", "sectors", "blockade", "reach",    "home",   "base",  "joystick", "port",
    "two",    "levels", "bonus",   "score",   "C64",      "cracked",  "intro",  "by",    "trainer",  "lives",
    "sprite", "music",  "loader",  "disk",    "side",     "Caf\xE9",  "M\xFCller", "\xC6ther", "r\xF4le", "1985",
    "fast",   "load",   "with",    "and",     "of",       "a",        "game",   "play",  "fire",     "button"};

const char* const kLabels[] = {"Name:", "Published:", "Developer:", "Language:", "Genre:", "Players:",
                               "Control:", "Comment:", "Notes:", "Unique-ID:", "SID:", "Music:"};

// One Windows-1252 NFO text of about kTextBytes bytes: label lines, separators,
// blank lines, free text and a long path, with CR LF line ends.
std::string MakeNfo(std::mt19937& rng) {
  auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto words = [&](size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
      if (i) s += ' ';
      s += kWords[pick(std::size(kWords))];
    }
    return s;
  };
  std::string text;
  while (text.size() < kTextBytes) {
    switch (pick(8)) {
      case 0:
        text += std::string(10 + pick(60), pick(2) ? '=' : '-') + "\r\n";
        break;
      case 1:
        text += "\r\n";
        break;
      case 2:
        text += std::string("Path:     \\GAMES\\") + words(1) + "\\" + words(1) + "_" + words(3) + ".d64\r\n";
        break;
      case 3:
      case 4:
        text += words(4 + pick(12)) + ".\r\n" + words(3 + pick(10)) + "\r\n";
        break;
      default:
        text += std::string(kLabels[pick(std::size(kLabels))]) + std::string(1 + pick(8), ' ') +
                words(1 + pick(pick(2) ? 3 : 20)) + "\r\n";
        break;
    }
  }
  text.resize(kTextBytes);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

  std::mt19937 rng(64);
  std::vector<std::u16string> texts;
  texts.reserve(static_cast<size_t>(count));
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    texts.push_back(vq::DecodeCp1252(MakeNfo(rng)));
    bytes += texts.back().size();
  }

  // Compiled once, as the job does.
  const vq::Regex regex(vq::kReformatPattern, vq::kReformatOptions);
  const vq::TNfoReformatter reformatter(regex);
  std::vector<std::u16string> lines;
  double best = 1e9;
  double bestCpu = 1e9;
  size_t lineCount = 0;
  for (int round = 0; round < rounds; ++round) {
    lineCount = 0;
    const auto start = std::chrono::steady_clock::now();
    const double startCpu = vq::bench::ThreadCpuSeconds();
    for (const auto& text : texts) {
      lines.clear();
      lines.emplace_back(u"Folder Name");
      reformatter.ReformatNFO(text, lines);
      lineCount += lines.size() - 1;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
    bestCpu = std::min(bestCpu, vq::bench::ThreadCpuSeconds() - startCpu);
  }
  // A hostile text: 64 KiB of labels split by vertical tabs, with no CR or LF.
  std::u16string hostile;
  while (hostile.size() < 65536) hostile += u"Label:" + std::u16string(40, u' ') + u"value\v";
  lines.clear();
  const auto hostileStart = std::chrono::steady_clock::now();
  reformatter.ReformatNFO(hostile, lines);
  const std::chrono::duration<double> hostileTime = std::chrono::steady_clock::now() - hostileStart;

  const double mib = static_cast<double>(bytes) / (1024 * 1024);
  std::printf("nfo: %d texts, %.2f MiB, %zu lines; best of %d rounds: %.3f s wall, %.3f s CPU "
              "(%.1f MiB/s, %.1f us per text)\n",
              count, mib, lineCount, rounds, best, bestCpu, mib / bestCpu, bestCpu * 1e6 / count);
  std::printf("nfo: one 64 KiB text of labels without CR or LF: %.4f s, %zu lines\n", hostileTime.count(),
              lines.size());
  return 0;
}
