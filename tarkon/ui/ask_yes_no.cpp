#include "tarkon/ui/ask_yes_no.h"

#include <QMessageBox>

#include "tarkon/ui/ui_texts.h"

bool AskYesNoDefaultNo(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, ProgramCaption(), question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

bool AskYesNoDefaultNo(QWidget* parent, const std::string& question) {
  return AskYesNoDefaultNo(parent, QString::fromStdString(question));
}
