#include "app/core/search_bar.h"

namespace vellumark {

SearchBarKey SearchBarKeyDown(int key, KeyModifiers m, const HotKeySetting& hot_key) {
  SearchBarKey out;
  const bool none = !m.shift && !m.ctrl && !m.alt;
  const bool alt_only = m.alt && !m.shift && !m.ctrl;
  const bool shift_ctrl = m.shift && m.ctrl && !m.alt;
  if (none) {
    switch (key) {
      case kVkF1:
        out.command = SearchBarCommand::kHelp;
        break;
      case kVkF2:
        out.command = SearchBarCommand::kShowMore;
        break;
      case kVkF3:
        out.command = SearchBarCommand::kNext;
        break;
      case kVkF10:
        out.command = SearchBarCommand::kIndex;
        break;
      default:
        break;
    }
  } else if (alt_only || shift_ctrl) {
    const int step = alt_only ? 1 : 20;
    switch (key) {
      case kVkReturn:
        out.command = SearchBarCommand::kIndex;
        break;
      case kVkLeft:
        out = {SearchBarCommand::kMove, -step, 0};
        break;
      case kVkUp:
        out = {SearchBarCommand::kMove, 0, -step};
        break;
      case kVkRight:
        out = {SearchBarCommand::kMove, step, 0};
        break;
      case kVkDown:
        out = {SearchBarCommand::kMove, 0, step};
        break;
      default:
        break;
    }
  }
  // The hot key with its one modifier hides the bar that has the focus.
  const bool only_alt = alt_only;
  const bool only_ctrl = m.ctrl && !m.shift && !m.alt;
  const bool only_shift = m.shift && !m.ctrl && !m.alt;
  if (hot_key.code > 0 && key == hot_key.code &&
      ((hot_key.modifier == "ALT" && only_alt) || (hot_key.modifier == "CTRL" && only_ctrl) ||
       (hot_key.modifier == "SHIFT" && only_shift))) {
    out.hide = true;
  }
  return out;
}

bool AddToHistory(std::vector<std::string>& items, const std::string& sample) {
  if (sample.empty()) return false;
  for (const std::string& item : items) {
    if (item == sample) return false;
  }
  items.insert(items.begin(), sample);
  return true;
}

std::string SearchBarCaption(int current_location_number, const std::string& task_name) {
  if (current_location_number >= 0 && !task_name.empty()) return "KIV: " + task_name;
  return "KIV";
}

SearchBar::SearchBar(ProgramContext& context, SearchBarView& view, Dialogs& dialogs)
    : context_(context), view_(view), dialogs_(dialogs) {}

void SearchBar::FormActivate() {
  if (context_.indexing_state == kIndexingIdle) view_.HideIndexWindow();
}

bool SearchBar::FormClose() {
  if (context_.indexing_state > kIndexingIdle) {
    if (check_stop) check_stop();
    return false;
  }
  return true;
}

SearchBarKey SearchBar::FormKeyDown(int key, KeyModifiers modifiers) {
  SearchBarKey action = SearchBarKeyDown(key, modifiers, hot_key);
  switch (action.command) {
    case SearchBarCommand::kHelp:
      bbHelpClick();
      break;
    case SearchBarCommand::kShowMore:
      bbShowMoreClick();
      break;
    case SearchBarCommand::kNext:
      bbNextClick();
      break;
    case SearchBarCommand::kIndex:
      bbIndexClick();
      break;
    case SearchBarCommand::kMove:
      view_.MoveWindowBy(action.dx, action.dy);
      break;
    case SearchBarCommand::kNone:
      break;
  }
  if (action.hide) view_.HideWindow();
  return action;
}

bool SearchBar::edSearchTextKeyPress(char c) {
  if (c != '\r') return false;
  bbFindClick();
  return true;
}

void SearchBar::edSearchTextChange() { context_.FindActive = false; }

void SearchBar::cbSearchOptionsChange() {
  search_mode = SearchModeFromText(view_.ModeText());
  context_.FindActive = false;
}

void SearchBar::bbFindClick() {
  context_.FindActive = false;
  const std::string sample = view_.SearchText();
  if (sample.empty()) {
    dialogs_.Error("Enter search sample in the text field.");
    view_.FocusSearchText();
    return;
  }
  std::vector<std::string> items = view_.History();
  if (AddToHistory(items, sample)) view_.SetHistory(items);
  if (find) find();
}

void SearchBar::bbNextClick() {
  if (next) next();
}

void SearchBar::bbShowMoreClick() {
  context_.FindActive = false;
  const int panel = view_.OptionsPanelHeight();
  if (view_.OptionsPanelVisible()) {
    view_.SetWindowHeight(view_.WindowHeight() - panel);
    view_.SetOptionsPanelVisible(false);
  } else {
    view_.SetWindowHeight(view_.WindowHeight() + panel);
    view_.SetOptionsPanelVisible(true);
  }
}

void SearchBar::bbIndexClick() {
  context_.FindActive = false;
  view_.ShowIndexWindow();
}

void SearchBar::bbHelpClick() {
  context_.FindActive = false;
  if (!shell_open || !shell_open(help_page)) dialogs_.Error("Cannot start Internet Explorer.");
}

void SearchBar::UpdateCaption() {
  std::string name = current_task_name ? current_task_name() : std::string();
  view_.SetCaption(SearchBarCaption(context_.CurrentLocationNumber, name));
}

}  // namespace vellumark
