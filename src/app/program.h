// The program entry: the unit start-up, then the search bar (the main window, whose creation
// starts the browser and the data module and opens the current location), the index window
// and the options window, in this order; the event loop; and the shutdown.
#pragma once

namespace vellumark {

// Runs the program; returns its exit status.
int RunProgram(int argc, char** argv);

}  // namespace vellumark
