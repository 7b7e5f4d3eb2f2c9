// The about box TfmAbout: the product name, its version, and a link to the maker's page. It is
// freed when it closes; clicking the link closes it and opens the page.
#pragma once

#include <QDialog>
#include <string>

#include "shell/search_bar.h"

namespace vellumark {

inline constexpr const char* kProductName = "Vellumark";
inline constexpr const char* kProductVersion = "1.0";
inline constexpr const char* kMakerAddress = "https://vellumark.example/";

class TfmAbout final : public QDialog {
  Q_OBJECT
 public:
  // The search bar's handlers open the maker's page; they must outlive the box.
  TfmAbout(SearchBar& search_bar, QWidget* parent = nullptr);

 private:
  SearchBar& search_bar_;
};

}  // namespace vellumark
