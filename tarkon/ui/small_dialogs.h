#pragma once
// The small modal dialogs of the "&Edit " menu: "Sensor Address",
// "Sensor boudrate" and, in manufacturing mode, "Serial Number and Model
// Name". Their checks, payloads and command sequences are the document's.

#include <QDialog>
#include <cstdint>
#include <string>

#include "tarkon/document/serial_and_model.h"

class QComboBox;
class QLineEdit;
class QPushButton;

class CAddressDialog : public QDialog {
  Q_OBJECT
 public:
  CAddressDialog(const std::string& serialText, int32_t address, QWidget* parent = nullptr);
  std::string serialText() const;
  uint8_t address() const { return address_; }
  QLineEdit* addressField() const { return addressField_; }

 public slots:
  void accept() override;

 private:
  QLineEdit* serial_;
  QLineEdit* addressField_;
  uint8_t address_ = 0;
};

class CBoudRateDialog : public QDialog {
  Q_OBJECT
 public:
  CBoudRateDialog(int choice, QWidget* parent = nullptr);
  int choice() const;
  QComboBox* list() const { return list_; }

 private:
  QComboBox* list_;
};

class CSerialAndModelDlg : public QDialog {
  Q_OBJECT
 public:
  // Opening fills the list and refreshes from the sensor.
  CSerialAndModelDlg(SerialAndModel& logic, QWidget* parent = nullptr);

  QComboBox* modelList() const { return models_; }
  QLineEdit* serialField() const { return serial_; }
  QPushButton* setModelButton() const { return setModel_; }
  QPushButton* setSerialButton() const { return setSerial_; }
  QPushButton* refreshButton() const { return refresh_; }

 private:
  void Show();

  SerialAndModel& logic_;
  QComboBox* models_;
  QLineEdit* serial_;
  QPushButton* setModel_;
  QPushButton* setSerial_;
  QPushButton* refresh_;
};
