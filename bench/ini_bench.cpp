// Loads settings files of many sections, as a settings file or profile that
// grew by accident could be, and reports the load time per size: the time
// must grow in step with the size, not with its square.
//
//   bench_ini [sections]   (default 1,000,000; also a tenth and a hundredth)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/ini_file.h"

namespace {

// A file text of `sections` sections, each with two keys, as a store writes it.
std::string IniText(int sections) {
  std::string text;
  text.reserve(static_cast<size_t>(sections) * 40);
  for (int i = 0; i < sections; ++i) {
    text += "[Section ";
    text += std::to_string(i);
    text += "]\r\nKey=";
    text += std::to_string(i);
    text += "\r\nOther=x\r\n\r\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const int largest = argc > 1 ? std::atoi(argv[1]) : 1000000;
  for (const int sections : {largest / 100, largest / 10, largest}) {
    const std::string text = IniText(sections);
    const auto start = std::chrono::steady_clock::now();
    const vq::TIniFile store = vq::TIniFile::FromText(text);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A lookup at the far end, so the load cannot be skipped.
    const std::string last = store.ReadString("section " + std::to_string(sections - 1), "key", "?");
    std::printf("%8d sections, %6.1f MiB: loaded in %.3f s (last key %s)\n", sections,
                static_cast<double>(text.size()) / (1 << 20), seconds, last.c_str());
  }
  return 0;
}
