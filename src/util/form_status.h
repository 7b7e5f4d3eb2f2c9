// Window placements in the settings file: the value a window saves under "FormStatus" when it
// is destroyed and the rules by which a saved value is accepted when the window is created.
// These are plain functions over numbers; the windows supply their own and the screen's sizes
// and apply the result.
#pragma once

#include <string>
#include <string_view>

#include "util/inifile.h"
#include "util/settings_names.h"

namespace vellumark {

enum WindowState : int {
  kWindowNormal = 0,
  kWindowMinimized = 1,
  kWindowMaximized = 2,
};

// Top and left of the frame, width, height (pixels) and WindowState.
struct FormPlacement {
  int top = 0;
  int left = 0;
  int width = 0;
  int height = 0;
  int state = kWindowNormal;

  bool operator==(const FormPlacement&) const = default;
};

// The placement value: the five numbers in decimal joined by commas, "%d,%d,%d,%d,%d".
std::string FormStatusValue(const FormPlacement& placement);

// Writes FormStatusValue under "FormStatus", key `form_name` (the window's component name:
// "MainForm", "IndexForm", "OptsForm").
void SaveFormStatus(TPIniFile& settings, std::string_view form_name,
                    const FormPlacement& placement);

struct FormStatusResult {
  FormPlacement placement;  // `current` with the accepted items applied
  bool all_items_valid;     // false when an item was not a decimal integer (it was skipped)
};

// Applies a placement value to the window's `current` placement. The value is split with
// SplitQuoted at ","; each item is a decimal integer, and an item that is not one is skipped.
// Top is taken when at least -9 and less than screen height - 20; left when left + the
// current width is above 20 and left is less than screen width - 20. Only a `sizeable` window
// (sizeable or tool-window border) takes width and height (each when above 20) and the state
// (when normal or maximised). Missing items leave the current values.
FormStatusResult ApplyFormStatus(std::string_view value, const FormPlacement& current,
                                 int screen_width, int screen_height, bool sizeable);

// Reads "FormStatus" / `form_name` (default empty) and applies it with ApplyFormStatus.
// `saved` (when given) tells whether the settings hold a value for the window at all.
FormStatusResult LoadFormStatus(const TPIniFile& settings, std::string_view form_name,
                                const FormPlacement& current, int screen_width, int screen_height,
                                bool sizeable, bool* saved = nullptr);

// A rectangle of the desktop in pixels: a screen's available area, or the area a window takes.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int right() const { return left + width; }   // one past the last column
  int bottom() const { return top + height; }  // one past the last row
  bool Intersects(const ScreenRect& other) const;
  bool operator==(const ScreenRect&) const = default;
};

// The rectangle a placement's frame covers.
ScreenRect FrameOf(const FormPlacement& placement);

// Space left between the search bar and a window placed below it.
inline constexpr int kBelowBarGap = 6;

// Moves a window's frame inside `area` (the screen's available area), so that a placement
// saved on a larger or a missing monitor is reachable again. A sizeable window larger than the
// area is shrunk to it; a fixed one keeps its size and its top-left corner goes to the area's.
FormPlacement FitInside(FormPlacement placement, const ScreenRect& area, bool sizeable);

// The first place of a window that has no saved placement: its left edge under the bar's,
// its top kBelowBarGap below `bar` (the area the always-on-top search bar takes), and inside
// `area`. A sizeable window is made short enough to fit below the bar; a fixed one that cannot
// fit there is moved up only as far as the area requires.
FormPlacement PlaceBelowBar(FormPlacement placement, const ScreenRect& bar, const ScreenRect& area,
                            bool sizeable);

// A window that opens at a place of its own (centred, say) but must not cover the bar: when
// its frame meets `bar` it goes below the bar, inside `area`.
FormPlacement AvoidBar(FormPlacement placement, const ScreenRect& bar, const ScreenRect& area);

}  // namespace vellumark
