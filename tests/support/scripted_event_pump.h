// An EventPump double: counts the pumps and runs a hook on each, which is how tests press
// Stop, Esc or a close in the middle of a long operation, exactly where the real event loop
// would deliver them.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "platform/event_pump.h"

namespace vellumark::testing {

class ScriptedEventPump final : public EventPump {
 public:
  void ProcessEvents() override {
    ++pumps;
    if (on_pump) on_pump(pumps);
  }
  void ProcessEventsFor(int max_ms) override {
    ProcessEvents();
    // Waiting loops rely on time passing; a short real sleep keeps them from spinning.
    if (max_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(max_ms < 5 ? max_ms : 5));
  }

  long pumps = 0;
  std::function<void(long)> on_pump;  // called with the pump count
};

}  // namespace vellumark::testing
