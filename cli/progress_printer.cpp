#include "cli/progress_printer.h"

#include <ostream>

namespace vq {

namespace {

constexpr auto kInteractiveInterval = std::chrono::milliseconds(100);
constexpr auto kPlainInterval = std::chrono::milliseconds(1000);

}  // namespace

TProgressPrinter::TProgressPrinter(std::ostream& out, bool interactive, int width)
    : out_(out), interactive_(interactive), width_(width < 20 ? 20 : width) {}

std::string TProgressPrinter::Flatten(const std::string& status) {
  std::string out;
  out.reserve(status.size());
  for (size_t i = 0; i < status.size(); ++i) {
    const char c = status[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < status.size() && status[i + 1] == '\n') ++i;
      out += " | ";
    } else {
      out += c;
    }
  }
  return out;
}

std::string TProgressPrinter::Phase(const std::string& status) {
  const size_t cut = status.find_first_of("(\r\n");
  return status.substr(0, cut);
}

void TProgressPrinter::Update(const std::string& status) {
  const auto now = std::chrono::steady_clock::now();
  const std::string phase = Phase(status);
  const bool newPhase = phase != last_phase_;
  if (!newPhase && now - last_print_ < (interactive_ ? kInteractiveInterval : kPlainInterval)) return;
  last_phase_ = phase;
  last_print_ = now;
  std::string line = Flatten(status);
  if (interactive_) {
    if (static_cast<int>(line.size()) > width_ - 1) {
      // Cut at a character boundary, never inside a UTF-8 sequence.
      size_t cut = static_cast<size_t>(width_ - 1);
      while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      line.resize(cut);
    }
    out_ << "\r\033[K" << line << std::flush;
    line_open_ = true;
  } else {
    out_ << line << '\n' << std::flush;
    last_printed_ = std::move(line);
  }
}

void TProgressPrinter::Finish(const std::string& status) {
  if (line_open_) out_ << "\r\033[K";
  line_open_ = false;
  const std::string line = Flatten(status);
  // A plain report of the same text was already the last line.
  if (!interactive_ && line == last_printed_) {
    out_ << std::flush;
    return;
  }
  out_ << line << std::endl;
}

}  // namespace vq
