#pragma once
// The about box, with the hidden password field of the factory mode: a
// left-button double-click with Shift held on the panel or its labels
// reveals it; what is typed shows as "*".

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;

namespace ostrel {

class AboutBox : public QDialog {
 public:
  static constexpr const char* kPassword = "qzx";

  explicit AboutBox(QWidget* parent);
  // Hides the field and clears what it shows (the typed text stays), then
  // shows the box modally. True when the typed text is the password.
  bool Run();
  const QString& typed() const { return typed_; }
  QLineEdit* passwordField() const { return password_; }
  QFrame* panel() const { return panel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QFrame* panel_ = nullptr;
  QLabel* version_ = nullptr;
  QLineEdit* password_ = nullptr;
  QString typed_;
  bool pressedWithShift_ = false;
  bool releasedWithShift_ = false;
};

}  // namespace ostrel
