#include "net/thread_timer.h"

namespace vellumark {

void TThreadTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Rearm();
}

void TThreadTimer::SetInterval(std::uint32_t interval) {
  interval_ = interval;
  Rearm();
}

void TThreadTimer::SetOnTimer(TNotifyEvent on_timer) {
  on_timer_ = std::move(on_timer);
  Rearm();
}

void TThreadTimer::Rearm() {
  armed_ = enabled_ && interval_ != 0 && static_cast<bool>(on_timer_);
  if (armed_) deadline_ = Clock::now() + std::chrono::milliseconds(interval_);
}

int TThreadTimer::RemainingMs() const {
  if (!armed_) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

bool TThreadTimer::Poll() {
  if (!armed_ || Clock::now() < deadline_) return false;
  deadline_ += std::chrono::milliseconds(interval_);
  if (deadline_ < Clock::now()) deadline_ = Clock::now() + std::chrono::milliseconds(interval_);
  // Copied: the handler may replace or clear OnTimer.
  TNotifyEvent handler = on_timer_;
  handler(*this);
  return true;
}

}  // namespace vellumark
