#include "util/form_status.h"

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
                                bool sizeable) {
  return ApplyFormStatus(settings.ReadString(kFormStatusSection, form_name, ""), current,
                         screen_width, screen_height, sizeable);
}

}  // namespace vellumark
