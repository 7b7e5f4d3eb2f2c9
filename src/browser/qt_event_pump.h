// The event pump of the program: Qt's event loop run from inside a long operation.
#pragma once

#include "platform/event_pump.h"

namespace vellumark {

class QtEventPump final : public EventPump {
 public:
  void ProcessEvents() override;
  // Runs the event loop for `max_ms`, sleeping in it while no event comes.
  void ProcessEventsFor(int max_ms) override;
};

}  // namespace vellumark
