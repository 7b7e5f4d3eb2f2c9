// Window placements of real windows: the five numbers of util/form_status.h taken from and
// applied to a Qt top-level window, on the screen the window is on.
#pragma once

#include <QWidget>
#include <string>

#include "util/form_status.h"
#include "util/inifile.h"

namespace vellumark {

// Top and left of the frame, its width and height, and the state.
FormPlacement PlacementOf(const QWidget& window);

// LoadFormStatus for the window under its component name (objectName). `sizeable` says
// whether width, height and state may be taken.
void LoadWindowStatus(const TPIniFile& settings, QWidget& window, bool sizeable);

// SaveFormStatus for the window under its component name.
void SaveWindowStatus(TPIniFile& settings, const QWidget& window);

}  // namespace vellumark
