#include "tarkon/ui/numeric_edit.h"

#include <QKeyEvent>
#include <QMessageBox>

#include "tarkon/ui/ui_texts.h"

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {}

void NumericEdit::GetRange(float* upper, float* lower) const {
  if (upper != nullptr) *upper = upper_;
  if (lower != nullptr) *lower = lower_;
}

void NumericEdit::SetRange(float upper, float lower) {
  upper_ = upper;
  lower_ = lower;
}

NumericCheck NumericEdit::Check(const QString& text) {
  const NumericCheck result = CheckNumericText(text.toStdString(), lower_, upper_);
  if (messages_ != 0 && result != kNumericValid) {
    QMessageBox::critical(this, ProgramCaption(), QString::fromStdString(NumericCheckMessage(result)));
  }
  return result;
}

NumericCheck NumericEdit::Check() { return Check(text()); }

void NumericEdit::SetValue(float value) { setText(QString::fromStdString(FormatNumericValue(value))); }

float NumericEdit::GetValue() const {
  float value = 0.0f;
  CheckNumericText(text().toStdString(), lower_, upper_, &value);
  return value;
}

void NumericEdit::keyPressEvent(QKeyEvent* event) {
  // Keys that type nothing (arrows, Home, Tab...) pass untouched; the
  // paste keystroke types the clipboard and is filtered like a character.
  const bool types = !event->text().isEmpty() || event->matches(QKeySequence::Paste);
  if (!types || isReadOnly()) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  if (event->text() == QLatin1String(" ")) {
    event->accept();  // blanks are dropped wherever they are typed
    return;
  }
  const QString before = text();
  const int caret = cursorPosition();
  QLineEdit::keyPressEvent(event);
  if (text() == before) return;
  if (Check(text()) != kNumericValid) {
    setText(before);
    setCursorPosition(caret);
    selectAll();
  }
}
