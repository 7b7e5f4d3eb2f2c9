#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vellumark {
namespace {

struct ButtonPair {
  MessageButton ours;
  QMessageBox::StandardButton qt;
};
constexpr ButtonPair kButtons[] = {
    {kButtonYes, QMessageBox::Yes},
    {kButtonNo, QMessageBox::No},
    {kButtonOk, QMessageBox::Ok},
    {kButtonCancel, QMessageBox::Cancel},
};

// The answer of a box closed without a choice: Cancel, else No, else OK.
MessageButton CloseAnswer(MessageButtons buttons) {
  for (MessageButton b : {kButtonCancel, kButtonNo, kButtonOk, kButtonYes}) {
    if (buttons & b) return b;
  }
  return kButtonOk;
}

}  // namespace

MessageButton QtDialogs::Message(MessageKind kind, const std::string& text,
                                 MessageButtons buttons) {
  if ((buttons & (kButtonOk | kButtonCancel | kButtonYes | kButtonNo)) == 0) buttons = kButtonOk;
  QMessageBox::Icon icon = QMessageBox::Information;
  QString title = QStringLiteral("Information");
  switch (kind) {
    case MessageKind::kError:
      icon = QMessageBox::Critical;
      title = QStringLiteral("Error");
      break;
    case MessageKind::kWarning:
      icon = QMessageBox::Warning;
      title = QStringLiteral("Warning");
      break;
    case MessageKind::kConfirmation:
      icon = QMessageBox::Question;
      title = QStringLiteral("Confirm");
      break;
    case MessageKind::kInformation:
      break;
  }
  QMessageBox box(icon, title, QString::fromStdString(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  for (const ButtonPair& b : kButtons) {
    if (buttons & b.ours) box.addButton(b.qt);
  }
  MessageButton on_close = CloseAnswer(buttons);
  for (const ButtonPair& b : kButtons) {
    if (b.ours == on_close) box.setEscapeButton(b.qt);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const ButtonPair& b : kButtons) {
    if ((buttons & b.ours) && clicked == box.button(b.qt)) return b.ours;
  }
  return on_close;
}

std::optional<std::string> QtDialogs::OpenFileName(const std::string& filter) {
  QString name = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), QString(),
                                              QString::fromStdString(filter));
  if (name.isEmpty()) return std::nullopt;
  return name.toStdString();
}

std::optional<std::string> QtDialogs::SaveFileName(const std::string& filter) {
  // The caller applies its extension rule to the name and asks about an existing file itself.
  QString name = QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(), QString(),
                                              QString::fromStdString(filter), nullptr,
                                              QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return std::nullopt;
  return name.toStdString();
}

}  // namespace vellumark
