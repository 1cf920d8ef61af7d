#pragma once
// One line on a terminal, redrawn in place: a bar, what is being done, how far, how fast and
// the time left. Long commands (transfer, batch) draw it on standard error when that is a
// terminal; the line is cleared when the bar goes.
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace QuillData::cli {

class ProgressBar {
 public:
  explicit ProgressBar(std::ostream& out) : out_(out) {}
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // "copying   [####....]  40% Machining 800/2000 rows, 950 rows/s, ETA 0:01". A new phase
  // starts the rate and the time left afresh. Redraws at most ten times a second, and always
  // the last step.
  void Show(std::string_view phase, std::string_view item, int64_t done, int64_t total,
            std::string_view unit);

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  bool drawn_ = false;
  std::string phase_;
  Clock::time_point phaseStart_;
  Clock::time_point lastDraw_;
};

// Seconds as m:ss.
std::string MinutesSeconds(double seconds);

}  // namespace QuillData::cli
