// Anchors the seams' virtual tables in this library.
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/view.h"
