// Window placements of real windows: the five numbers of util/form_status.h taken from and
// applied to a Qt top-level window, on the screen the window is on, and the places of windows
// that have no saved placement yet (below the always-on-top search bar).
//
// A window that the window manager has not framed yet (it has never been shown) has no frame
// size in Qt; the functions here then count on a frame of the usual size, so that a window
// placed before it is first shown still ends up clear of the bar and inside the screen.
#pragma once

#include <QRect>
#include <QWidget>
#include <string>

#include "util/form_status.h"
#include "util/inifile.h"

namespace vellumark {

// Top and left of the frame, its width and height, and the state.
FormPlacement PlacementOf(const QWidget& window);

// The available area (without panels and docks) of the screen under the window's centre, or
// of the primary screen when no screen is there.
ScreenRect AvailableAreaOf(const QWidget& window);

ScreenRect ScreenRectOf(const QRect& rect);

// The window's frame on the screen; for a window not framed yet, the frame it will have.
QRect WindowFrame(const QWidget& window);

// LoadFormStatus for the window under its component name (objectName). `sizeable` says
// whether width, height and state may be taken. A saved placement that no longer fits the
// screen's available area is moved inside it. Returns whether a placement was saved.
bool LoadWindowStatus(const TPIniFile& settings, QWidget& window, bool sizeable);

// SaveFormStatus for the window under its component name.
void SaveWindowStatus(TPIniFile& settings, const QWidget& window);

// Moves (and for a sizeable window resizes) the window's frame to `placement`.
void ApplyPlacement(QWidget& window, const FormPlacement& placement, bool sizeable);

// Places a window that has no saved placement below `bar` (the area the search bar takes),
// inside the available area.
void PlaceWindowBelowBar(QWidget& window, const ScreenRect& bar, bool sizeable);

// Moves a window that has a place of its own (centred) off `bar` when it meets it.
void KeepWindowOffBar(QWidget& window, const ScreenRect& bar);

}  // namespace vellumark
