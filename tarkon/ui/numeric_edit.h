#pragma once
// A single-line field that takes only texts that are one number: every
// typed character (backspace and the paste keystroke included) that would
// leave anything else is undone, and blanks are never typed in. It can also
// check a range and report bad input in a message box; the settings dialogs
// leave the range at its widest and the messages off, so there the field
// only filters keystrokes. Texts the program sets are taken as they are.

#include <QLineEdit>

#include "tarkon/document/numeric_text.h"

class NumericEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit NumericEdit(QWidget* parent = nullptr);

  void GetRange(float* upper, float* lower) const;
  void SetRange(float upper, float lower);
  int GetMessages() const { return messages_; }
  void SetMessages(int on) { messages_ = on; }

  // The check of `text` (of the field's own text), with the message box
  // when messages are on and the result is not valid.
  NumericCheck Check(const QString& text);
  NumericCheck Check();

  // Shows `value` with "%f".
  void SetValue(float value);
  // The text read as a number; defined only when Check() finds it valid.
  float GetValue() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  float lower_ = kNumericLowest;
  float upper_ = kNumericHighest;
  int messages_ = 0;
};
