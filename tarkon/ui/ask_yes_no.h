#pragma once
// The program's Yes/No question for anything that erases or overwrites
// (factory defaults, an upload, discarding typed values): No is the
// default button, so Enter or a stray key press keeps what is there.

#include <QString>
#include <string>

class QWidget;

// Shows `question` with the question icon; true only when Yes is chosen.
bool AskYesNoDefaultNo(QWidget* parent, const std::string& question);
bool AskYesNoDefaultNo(QWidget* parent, const QString& question);
