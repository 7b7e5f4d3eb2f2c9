// TThreadTimer is a one-interval timer without a thread or a window: a deadline that the
// owner's waiting loops check with Poll(). Any change of Enabled, Interval or OnTimer re-arms
// it, so the countdown starts anew from that moment. While enabled it fires every Interval
// milliseconds; an Interval of 0 or a missing OnTimer means that it never fires.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace vellumark {

class TThreadTimer final {
 public:
  using Clock = std::chrono::steady_clock;
  using TNotifyEvent = std::function<void(TThreadTimer& sender)>;

  TThreadTimer() = default;
  TThreadTimer(const TThreadTimer&) = delete;
  TThreadTimer& operator=(const TThreadTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t interval);
  void SetOnTimer(TNotifyEvent on_timer);

  // True when the timer runs (enabled, with an interval and a handler).
  bool Armed() const { return armed_; }

  // Milliseconds until the next tick (0 when due), or -1 when the timer does not run.
  int RemainingMs() const;

  // Runs OnTimer when the deadline has passed and sets the next one. Returns whether it fired.
  bool Poll();

 private:
  void Rearm();

  bool enabled_ = true;            // the Enabled property
  std::uint32_t interval_ = 1000;  // milliseconds
  TNotifyEvent on_timer_;
  bool armed_ = false;          // enabled, an interval and a handler
  Clock::time_point deadline_;  // next tick, when armed
};

}  // namespace vellumark
