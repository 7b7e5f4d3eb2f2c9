#include "shell/search_bar.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace vellumark {

SearchBarKey SearchBarKeyDown(int key, KeyModifiers m, const HotKeySetting& hot_key) {
  SearchBarKey out;
  const bool none = !m.shift && !m.ctrl && !m.alt;
  const bool alt_only = m.alt && !m.shift && !m.ctrl;
  const bool shift_ctrl = m.shift && m.ctrl && !m.alt;
  if (m.shift && !m.ctrl && !m.alt && key == kVkF1) out.command = SearchBarCommand::kAbout;
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

std::string SearchBarCaption(int current_location_number, const std::string& task_name,
                             bool indexing) {
  if (indexing) return std::string("KIV: ") + kRunActiveNote;
  if (current_location_number >= 0 && !task_name.empty()) return "KIV: " + task_name;
  return "KIV";
}

SearchBar::SearchBar(ProgramContext& context, SearchBarView& view, Dialogs& dialogs,
                     Desktop& desktop)
    : context_(context), view_(view), dialogs_(dialogs), desktop_(desktop) {}

SearchBar::~SearchBar() { Detach(); }

void SearchBar::Attach(TdmKiv& data, Browser& browser) {
  data_ = &data;
  browser_ = &browser;
}

void SearchBar::StartSearch(StatusView& status) {
  search_ = std::make_unique<TSearch>(context_, *data_, *browser_, dialogs_, view_, status);
}

void SearchBar::Detach() {
  if (search_) search_->FindInPage().ReleaseRanges();
  search_.reset();
  data_ = nullptr;
  browser_ = nullptr;
}

void SearchBar::FormActivate() {
  if (context_.indexing_state == kIndexingIdle && index_window_) index_window_->HideIndexWindow();
}

bool SearchBar::FormClose() {
  if (context_.indexing_state > kIndexingIdle) {
    // A stop the user has just confirmed says so itself; otherwise the index window says why.
    if (index_window_ && !index_window_->CheckStop()) index_window_->ShowCloseRefused();
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
    case SearchBarCommand::kAbout:
      view_.ShowAbout();
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
  if (search_) search_->bbFindClick();
}

void SearchBar::bbNextClick() {
  if (search_) search_->bbNextClick();
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
  if (index_window_) index_window_->ShowIndexWindow();
}

void SearchBar::bbHelpClick() {
  context_.FindActive = false;
  if (!ShellOpen(help_page)) dialogs_.Error("Cannot start Internet Explorer.");
}

void SearchBar::UpdateCaption() {
  const std::string name = data_ ? data_->CurrentTaskName() : std::string();
  view_.SetCaption(SearchBarCaption(context_.CurrentLocationNumber, name, indexing_));
}

void SearchBar::SetIndexing(bool running) {
  indexing_ = running;
  view_.SetFindEnabled(!running);
  UpdateCaption();
}

bool SearchBar::ShellOpen(const std::string& target) {
  if (desktop_.OpenWithDesktop(target)) return true;
  if (!browser_) return false;
  // A name without "://" is a file of the program folder, the current directory; a file must
  // be there to be shown.
  constexpr std::string_view kFileScheme = "file://";
  std::string address = target;
  if (target.find("://") == std::string::npos) {
    std::error_code ec;
    address = std::string(kFileScheme) + std::filesystem::absolute(target, ec).string();
    if (ec) return false;
  }
  if (address.rfind(kFileScheme, 0) == 0) {
    std::error_code ec;
    if (!std::filesystem::exists(address.substr(kFileScheme.size()), ec)) return false;
  }
  try {
    browser_->Navigate(address);
    browser_->SetVisible(true);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace vellumark
