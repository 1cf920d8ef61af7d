#include "cli/Progress.h"

#include <cstdio>

namespace QuillData::cli {

ProgressBar::~ProgressBar() {
  if (drawn_) out_ << "\r\033[K" << std::flush;
}

void ProgressBar::Show(std::string_view phase, std::string_view item, int64_t done, int64_t total,
                       std::string_view unit) {
  const auto now = Clock::now();
  if (phase != phase_ || !drawn_) {
    phase_ = std::string(phase);
    phaseStart_ = now;
  }
  const bool last = done >= total;
  if (drawn_ && !last && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  constexpr int kWidth = 30;
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1;
  const int filled = static_cast<int>(share * kWidth);
  const double elapsed = std::chrono::duration<double>(now - phaseStart_).count();
  const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
  const std::string what = item.empty() ? std::string() : std::string(item) + " ";
  const std::string units(unit);
  char line[320];
  std::snprintf(
      line, sizeof line, "\r%-9.*s [%s%s] %3d%% %s%lld/%lld %s, %.0f %s/s, ETA %s\033[K",
      static_cast<int>(phase.size()), phase.data(),
      std::string(static_cast<size_t>(filled), '#').c_str(),
      std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), static_cast<int>(share * 100),
      what.c_str(), static_cast<long long>(done), static_cast<long long>(total), units.c_str(),
      rate, units.c_str(),
      rate > 0 ? MinutesSeconds(static_cast<double>(total - done) / rate).c_str() : "-:--");
  out_ << line << std::flush;
}

std::string MinutesSeconds(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

}  // namespace QuillData::cli
