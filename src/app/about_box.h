// The about box TfmAbout: the product name, its version, and a link to the maker's page. It is
// freed when it closes; clicking the link closes it and opens the page.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

namespace vellumark {

inline constexpr const char* kProductName = "Vellumark";
inline constexpr const char* kProductVersion = "1.0";
inline constexpr const char* kMakerAddress = "https://vellumark.example/";

class TfmAbout final : public QDialog {
  Q_OBJECT
 public:
  // `shell_open` opens the maker's page; it must outlive the box.
  TfmAbout(std::function<bool(const std::string&)> shell_open, QWidget* parent = nullptr);

 private:
  std::function<bool(const std::string&)> shell_open_;
};

}  // namespace vellumark
