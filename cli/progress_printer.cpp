#include "cli/progress_printer.h"

#include <cmath>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ostream>

#include "base/text.h"
#include "engine/job_results.h"

namespace vq {

namespace {

constexpr auto kBarInterval = std::chrono::milliseconds(100);
constexpr auto kPlainInterval = std::chrono::milliseconds(1000);
constexpr int kMaxBarWidth = 30;
constexpr int kMinBarWidth = 5;
constexpr double kMinRateSeconds = 0.05;  // below this a rate means nothing

// "(5/600)" or "(123 so far.)" in `line`: done and total (-1 when not given).
void ParseCounts(const std::string& line, int64_t& done, int64_t& total) {
  const size_t open = line.find('(');
  if (open == std::string::npos) return;
  int64_t a = 0, b = 0;
  int used = 0;
  if (std::sscanf(line.c_str() + open, "(%" SCNd64 "/%" SCNd64 ")%n", &a, &b, &used) == 2 && used > 0) {
    done = a;
    total = b;
  } else if (std::sscanf(line.c_str() + open, "(%" SCNd64 " so far%n", &a, &used) == 1 && used > 0) {
    done = a;
  }
}

// "0:42", "12:05" or "1:02:03".
std::string Duration(double seconds) {
  const int64_t s = std::llround(seconds);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", s / 3600, static_cast<int>(s / 60 % 60),
                  static_cast<int>(s % 60));
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(s / 60), static_cast<int>(s % 60));
  }
  return text;
}

// Cuts `line` to fewer than `width` bytes, never inside a UTF-8 sequence.
std::string Clip(std::string line, int width) {
  if (static_cast<int>(line.size()) <= width - 1) return line;
  size_t cut = static_cast<size_t>(std::max(width - 1, 0));
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  line.resize(cut);
  return line;
}

}  // namespace

TClock SteadyClock() {
  return [] { return std::chrono::steady_clock::now(); };
}

TProgressStatus ParseStatus(const std::string& status) {
  TProgressStatus result;
  result.Line = status.substr(0, status.find_first_of("\r\n"));
  const std::string head = Trim(std::string_view(result.Line).substr(0, result.Line.find('(')));
  result.Phase = head.substr(0, head.find(' '));
  while (!result.Phase.empty() && (result.Phase.back() == '.' || result.Phase.back() == ':')) result.Phase.pop_back();
  ParseCounts(result.Line, result.Done, result.Total);
  return result;
}

TProgressPrinter::TProgressPrinter(std::ostream& out, TProgressMode mode, int width, TClock clock)
    : out_(out), mode_(mode), width_(std::max(width, 20)), clock_(std::move(clock)) {}

std::string TProgressPrinter::Flatten(const std::string& status) { return FlattenStatus(status); }

std::string TProgressPrinter::BarLine(const TProgressStatus& status, double seconds, int64_t doneAtStart, int width) {
  if (status.Done < 0) return Clip(status.Line, width);
  const double rate = seconds >= kMinRateSeconds ? static_cast<double>(status.Done - doneAtStart) / seconds : -1;
  char rateText[48];
  if (rate >= 0) {
    std::snprintf(rateText, sizeof rateText, "%.1f %s/s", rate, status.Total < 0 ? "zips" : "games");
  } else {
    std::snprintf(rateText, sizeof rateText, "-- %s/s", status.Total < 0 ? "zips" : "games");
  }
  if (status.Total < 0) {
    return Clip(status.Phase + "  " + std::to_string(status.Done) + " so far  " + rateText, width);
  }
  const int64_t total = std::max<int64_t>(status.Total, 1);
  const int64_t done = std::clamp<int64_t>(status.Done, 0, total);
  char counts[64];
  std::snprintf(counts, sizeof counts, "%" PRId64 "/%" PRId64 "  %3d%%", status.Done, status.Total,
                static_cast<int>(done * 100 / total));
  std::string rest = std::string(counts) + "  " + rateText;
  if (rate > 0) rest += "  " + Duration(static_cast<double>(total - done) / rate) + " left";
  // The bar takes what the line leaves, within limits.
  const int room = width - 1 - static_cast<int>(status.Phase.size() + rest.size()) - 5;
  const int barWidth = std::min(room, kMaxBarWidth);
  std::string line = status.Phase + " ";
  if (barWidth >= kMinBarWidth) {
    const int filled = static_cast<int>(done * barWidth / total);
    line += "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(barWidth - filled), '-') + "] ";
  }
  return Clip(line + " " + rest, width);
}

void TProgressPrinter::Update(const std::string& status) {
  if (mode_ == TProgressMode::Quiet) return;
  const auto now = clock_();
  const TProgressStatus parsed = ParseStatus(status);
  if (parsed.Phase != phase_) {
    phase_ = parsed.Phase;
    phase_start_ = now;
    phase_done_ = std::max<int64_t>(parsed.Done, 0);
  }
  if (mode_ != TProgressMode::Verbose && printed_any_ &&
      now - last_print_ < (mode_ == TProgressMode::Bar ? kBarInterval : kPlainInterval)) {
    return;
  }
  printed_any_ = true;
  last_print_ = now;
  if (mode_ == TProgressMode::Bar) {
    const double seconds = std::chrono::duration<double>(now - phase_start_).count();
    out_ << "\r\033[K" << BarLine(parsed, seconds, phase_done_, width_) << std::flush;
    line_open_ = true;
  } else {
    last_printed_ = Flatten(status);
    out_ << last_printed_ << '\n' << std::flush;
  }
}

bool TProgressPrinter::Finish(const std::string& summary) {
  if (line_open_) out_ << "\r\033[K" << std::flush;
  line_open_ = false;
  return (mode_ == TProgressMode::Plain || mode_ == TProgressMode::Verbose) && Flatten(summary) == last_printed_;
}

}  // namespace vq
