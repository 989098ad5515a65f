#include "tarkon/ui/small_dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "tarkon/document/connect_values.h"
#include "tarkon/ui/spoken_value.h"
#include "tarkon/ui/ui_texts.h"

namespace {

QHBoxLayout* OkCancel(QDialog* dialog, const QString& okText) {
  auto* ok = new QPushButton(okText, dialog);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

}  // namespace

CAddressDialog::CAddressDialog(const std::string& serialText, int32_t address, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Sensor Address"));
  serial_ = new QLineEdit(QString::fromStdString(serialText), this);
  serial_->setReadOnly(true);
  SpeakValue(serial_, QStringLiteral("Serial number"));
  addressField_ = new QLineEdit(QString::number(address), this);
  addressField_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), addressField_));
  // The spin control steps 1 to 255; a typed 0 (the broadcast address)
  // still passes the OK check.
  auto* up = new QToolButton(this);
  up->setArrowType(Qt::UpArrow);
  up->setAccessibleName(QStringLiteral("Increase address"));
  auto* down = new QToolButton(this);
  down->setArrowType(Qt::DownArrow);
  down->setAccessibleName(QStringLiteral("Decrease address"));
  auto step = [this](int by) {
    addressField_->setText(QString::number(std::clamp(addressField_->text().toInt() + by, 1, 255)));
  };
  connect(up, &QToolButton::clicked, this, [step] { step(1); });
  connect(down, &QToolButton::clicked, this, [step] { step(-1); });
  auto* addressRow = new QHBoxLayout;
  addressRow->addWidget(addressField_);
  addressRow->addWidget(up);
  addressRow->addWidget(down);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Serial number:"), serial_);
  form->addRow(QStringLiteral("&Address:"), addressRow);
  qobject_cast<QLabel*>(form->labelForField(addressRow))->setBuddy(addressField_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(OkCancel(this, QStringLiteral("OK")));
  // The serial number is only shown: typing starts in the address, whole
  // text selected so a new address replaces it.
  addressField_->setFocus();
  addressField_->selectAll();
}

std::string CAddressDialog::serialText() const { return serial_->text().toStdString(); }

void CAddressDialog::accept() {
  const std::string message = CheckAddressText(addressField_->text().toStdString(), &address_);
  if (!message.empty()) {
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(message));
    return;
  }
  QDialog::accept();
}

CBoudRateDialog::CBoudRateDialog(int choice, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Sensor boudrate"));
  list_ = new QComboBox(this);
  for (const std::string& rate : BaudRateTexts()) list_->addItem(QString::fromStdString(rate));
  list_->setCurrentIndex(choice);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Boudrate:"), list_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(OkCancel(this, QStringLiteral("OK")));
}

int CBoudRateDialog::choice() const { return list_->currentIndex(); }

CSerialAndModelDlg::CSerialAndModelDlg(SerialAndModel& logic, QWidget* parent) : QDialog(parent), logic_(logic) {
  setWindowTitle(QStringLiteral("Serial Number and Model Name"));
  models_ = new QComboBox(this);
  models_->setAccessibleName(QStringLiteral("Model name"));
  for (const SerialAndModel::Entry& entry : logic_.entries()) {
    models_->addItem(QString::fromStdString(entry.text), QString::fromStdString(entry.value));
  }
  serial_ = new QLineEdit(this);
  serial_->setAccessibleName(QStringLiteral("Serial number"));
  setModel_ = new QPushButton(QStringLiteral("Set Model Name"), this);
  setSerial_ = new QPushButton(QStringLiteral("Set Serial Number"), this);
  refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
  refresh_->setDefault(true);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->addWidget(models_, 0, 0);
  grid->addWidget(setModel_, 0, 1);
  grid->addWidget(serial_, 1, 0);
  grid->addWidget(setSerial_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(refresh_);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  connect(models_, &QComboBox::activated, this, [this](int index) { logic_.Select(index); });
  connect(setModel_, &QPushButton::clicked, this, [this] {
    logic_.Select(models_->currentIndex());
    logic_.SetModelName();
    Show();
  });
  connect(setSerial_, &QPushButton::clicked, this, [this] {
    logic_.SetSerialText(serial_->text().toStdString());
    logic_.SetSerialNumber();
    Show();
  });
  connect(refresh_, &QPushButton::clicked, this, [this] {
    logic_.Refresh();
    Show();
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  logic_.Refresh();
  Show();
}

void CSerialAndModelDlg::Show() {
  models_->setCurrentIndex(logic_.selection());
  serial_->setText(QString::fromStdString(logic_.serialText()));
}
