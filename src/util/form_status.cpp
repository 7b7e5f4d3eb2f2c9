#include "util/form_status.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "util/splitters.h"

namespace vellumark {

namespace {

std::optional<int> DecimalInteger(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string FormStatusValue(const FormPlacement& p) {
  return std::to_string(p.top) + "," + std::to_string(p.left) + "," + std::to_string(p.width) +
         "," + std::to_string(p.height) + "," + std::to_string(p.state);
}

void SaveFormStatus(TPIniFile& settings, std::string_view form_name,
                    const FormPlacement& placement) {
  settings.WriteString(kFormStatusSection, form_name, FormStatusValue(placement));
}

FormStatusResult ApplyFormStatus(std::string_view value, const FormPlacement& current,
                                 int screen_width, int screen_height, bool sizeable) {
  FormStatusResult result{current, true};
  FormPlacement& p = result.placement;
  std::vector<std::string> items;
  SplitQuoted(value, U',', items);
  for (std::size_t i = 0; i < items.size() && i < 5; ++i) {
    const std::optional<int> n = DecimalInteger(items[i]);
    if (!n) {
      result.all_items_valid = false;
      continue;
    }
    const long long v = *n;  // wide enough for the sums below
    switch (i) {
      case 0:
        if (v >= -9 && v < screen_height - 20LL) p.top = *n;
        break;
      case 1:
        if (v + p.width > 20 && v < screen_width - 20LL) p.left = *n;
        break;
      case 2:
        if (sizeable && v > 20) p.width = *n;
        break;
      case 3:
        if (sizeable && v > 20) p.height = *n;
        break;
      case 4:
        if (sizeable && (v == kWindowNormal || v == kWindowMaximized)) p.state = *n;
        break;
    }
  }
  return result;
}

FormStatusResult LoadFormStatus(const TPIniFile& settings, std::string_view form_name,
                                const FormPlacement& current, int screen_width, int screen_height,
                                bool sizeable, bool* saved) {
  const std::string value = settings.ReadString(kFormStatusSection, form_name, "");
  if (saved) *saved = !value.empty();
  return ApplyFormStatus(value, current, screen_width, screen_height, sizeable);
}

bool ScreenRect::Intersects(const ScreenRect& o) const {
  return width > 0 && height > 0 && o.width > 0 && o.height > 0 && left < o.right() &&
         o.left < right() && top < o.bottom() && o.top < bottom();
}

ScreenRect FrameOf(const FormPlacement& p) { return {p.left, p.top, p.width, p.height}; }

FormPlacement FitInside(FormPlacement p, const ScreenRect& area, bool sizeable) {
  if (area.width <= 0 || area.height <= 0) return p;
  if (sizeable) {
    p.width = std::min(p.width, area.width);
    p.height = std::min(p.height, area.height);
  }
  // The far edges first, so that a window larger than the area ends at its near edges.
  if (p.left + p.width > area.right()) p.left = area.right() - p.width;
  if (p.top + p.height > area.bottom()) p.top = area.bottom() - p.height;
  p.left = std::max(p.left, area.left);
  p.top = std::max(p.top, area.top);
  return p;
}

FormPlacement PlaceBelowBar(FormPlacement p, const ScreenRect& bar, const ScreenRect& area,
                            bool sizeable) {
  p.left = bar.left;
  p.top = std::max(bar.bottom() + kBelowBarGap, area.top);
  if (sizeable && area.height > 0) {
    const int room = area.bottom() - p.top;
    if (room > 0) p.height = std::min(p.height, room);
  }
  return FitInside(p, area, sizeable);
}

FormPlacement AvoidBar(FormPlacement p, const ScreenRect& bar, const ScreenRect& area) {
  if (FrameOf(p).Intersects(bar)) p.top = bar.bottom() + kBelowBarGap;
  return FitInside(p, area, false);
}

}  // namespace vellumark
