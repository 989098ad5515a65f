#include "ostrel/ui/about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "ostrel/operations/field_keys.h"

namespace ostrel {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  panel_ = new QFrame(this);
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* inner = new QVBoxLayout(panel_);
  auto* name = new QLabel("Ostrel.exe", panel_);
  version_ = new QLabel(panel_);
  password_ = new QLineEdit(panel_);
  password_->setObjectName("editPasswrod");
  password_->setAccessibleName("Password");
  password_->hide();
  inner->addWidget(name);
  inner->addWidget(version_);
  inner->addWidget(password_);
  layout->addWidget(panel_);
  for (const char* line : {"Setup and test of the KRV04-BF board flipper sensor.",
                           "Connects, configures and watches one sensor at a time.",
                           "For service technicians and the factory."}) {
    layout->addWidget(new QLabel(line, this));
  }
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  for (QObject* o : {static_cast<QObject*>(panel_), static_cast<QObject*>(name), static_cast<QObject*>(version_)})
    o->installEventFilter(this);
  password_->installEventFilter(this);
}

void AboutBox::showEvent(QShowEvent* event) {
  version_->setText(QString("Version %1").arg(2.02, 0, 'f', 2));
  pressedWithShift_ = false;
  releasedWithShift_ = false;
  QDialog::showEvent(event);
}

bool AboutBox::Run() {
  password_->hide();
  password_->clear();
  exec();
  pressedWithShift_ = false;
  releasedWithShift_ = false;
  return typed_ == kPassword;
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == password_) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) return false;  // closes the box
    if (key->key() == Qt::Key_Backspace) {
      typed_.chop(1);
      password_->setText(QString(typed_.size(), '*'));
      return true;
    }
    const QString text = key->text();
    if (text.size() == 1 && text.at(0).unicode() < 128 &&
        KeyAccepted(KeyRule::kPassword, static_cast<char>(text.at(0).unicode()), std::string())) {
      typed_ += text;
      password_->setText(QString(typed_.size(), '*'));
    }
    return true;
  }
  if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease &&
      event->type() != QEvent::MouseButtonDblClick) {
    return false;
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  const bool leftWithShift = mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ShiftModifier);
  if (event->type() == QEvent::MouseButtonPress) {
    pressedWithShift_ = leftWithShift;
  } else if (event->type() == QEvent::MouseButtonRelease) {
    releasedWithShift_ = leftWithShift;
  } else if (pressedWithShift_ && releasedWithShift_) {
    typed_.clear();
    password_->clear();
    password_->show();
    password_->setFocus();
  }
  return false;
}

}  // namespace ostrel
