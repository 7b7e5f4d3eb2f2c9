// "Pump messages": lets pending user-interface events run. Long operations stay on the one
// user-interface thread and call this at fixed points (status updates, waiting loops), which
// is how Stop, Esc and close requests reach them mid-run.
#pragma once

namespace vellumark {

class EventPump {
 public:
  virtual ~EventPump() = default;

  // Runs the events that are pending now and returns.
  virtual void ProcessEvents() = 0;

  // Runs events for at most `max_ms` milliseconds, waiting for new ones while there are none.
  // May return early. Waiting loops use it so that they neither spin nor sleep blindly.
  virtual void ProcessEventsFor(int max_ms) = 0;
};

}  // namespace vellumark
