// The connect dialog's global address and parity, the address dialog's
// check, the numeric field's keystrokes, and the accessible names.

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "tarkon/ui/connect_dialog.h"
#include "tarkon/ui/numeric_edit.h"
#include "tarkon/ui/small_dialogs.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

std::vector<PortEntry> Ports() { return {{"COM1", "COM1", {}}, {"COM2", "COM2", {}}}; }

void Focus(QWidget* window, QWidget* field) {
  window->show();
  QApplication::setActiveWindow(window);
  field->setFocus();
  Pump(10);
}

TEST(ConnectDialogUi, GlobalAddressSwitch) {
  CConnectDialog dialog(ConnectValues{}, Ports());
  QLineEdit* address = dialog.addressField();
  Focus(&dialog, address);
  EXPECT_EQ(address->text(), "1");
  EXPECT_FALSE(dialog.warningText()->isVisibleTo(&dialog));

  // Typing 0 and leaving the field switches the global address on.
  address->selectAll();
  QTest::keyClicks(address, "0");
  QTest::keyClick(address, Qt::Key_Tab);
  EXPECT_TRUE(dialog.globalBox()->isChecked());
  EXPECT_TRUE(dialog.warningText()->isVisibleTo(&dialog));
  EXPECT_FALSE(address->isEnabled());
  EXPECT_EQ(address->text(), "0");
  EXPECT_EQ(dialog.spinLow(), 0);
  EXPECT_EQ(dialog.spinHigh(), 0);

  // Switching it off restores address 1.
  dialog.globalBox()->click();
  EXPECT_FALSE(dialog.globalBox()->isChecked());
  EXPECT_FALSE(dialog.warningText()->isVisibleTo(&dialog));
  EXPECT_TRUE(address->isEnabled());
  EXPECT_EQ(address->text(), "1");
  EXPECT_EQ(dialog.spinHigh(), 255);

  // Opening with address 0: global, but the warning stays hidden.
  ConnectValues zero;
  zero.address = 0;
  CConnectDialog opened(zero, Ports());
  opened.show();
  EXPECT_TRUE(opened.globalBox()->isChecked());
  EXPECT_FALSE(opened.addressField()->isEnabled());
  EXPECT_EQ(opened.addressField()->text(), "0");
  EXPECT_FALSE(opened.warningText()->isVisibleTo(&opened));
}

TEST(ConnectDialogUi, ParityAdvancedAndOkChecks) {
  CConnectDialog dialog(ConnectValues{}, Ports());
  dialog.show();
  EXPECT_FALSE(dialog.parityList()->isEnabled());
  dialog.parityBox()->click();
  EXPECT_TRUE(dialog.parityList()->isEnabled());
  dialog.parityBox()->click();
  EXPECT_FALSE(dialog.parityList()->isEnabled());

  EXPECT_FALSE(dialog.timeoutsGroup()->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.advancedButton()->text(), "Advanced >>");
  dialog.advancedButton()->click();
  EXPECT_TRUE(dialog.timeoutsGroup()->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.advancedButton()->text(), "<< Advanced");

  // An address above 255 keeps the dialog open with the message.
  dialog.addressField()->setText("256");
  QString shown;
  auto message = OnNextModal([&shown](QWidget* w) {
    shown = qobject_cast<QMessageBox*>(w)->text();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  dialog.accept();
  EXPECT_TRUE(*message);
  EXPECT_EQ(shown, "Please enter an integer between 0 and 255.");
  EXPECT_EQ(dialog.result(), 0);
  EXPECT_TRUE(dialog.isVisible());

  dialog.addressField()->setText("7");
  dialog.readTimeoutField()->setText("");
  message = OnNextModal([&shown](QWidget* w) {
    shown = qobject_cast<QMessageBox*>(w)->text();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  dialog.accept();
  EXPECT_TRUE(*message);
  EXPECT_EQ(shown, "Please enter a positive integer.");

  dialog.readTimeoutField()->setText("20");
  dialog.portBox()->setCurrentText("COM2");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().address, 7);
  EXPECT_EQ(dialog.values().readTimeout, 20u);
  EXPECT_EQ(dialog.values().portText, "COM2");
  EXPECT_TRUE(dialog.virtualModel().empty());
}

// The advanced part's RS-485 box: hidden with the time-outs, open at once
// when the connection uses it, and its state is the value handed on.
TEST(ConnectDialogUi, Rs485BoxInTheAdvancedPart) {
  CConnectDialog plain(ConnectValues{}, Ports());
  plain.show();
  EXPECT_FALSE(plain.rs485Box()->isVisibleTo(&plain));
  plain.advancedButton()->click();
  ASSERT_TRUE(plain.rs485Box()->isVisibleTo(&plain));
  EXPECT_EQ(plain.rs485Box()->text(), "RS-485 direction control");
  EXPECT_FALSE(plain.rs485Box()->isChecked());
  plain.rs485Box()->click();
  plain.accept();
  EXPECT_TRUE(plain.values().rs485);

  ConnectValues stored;
  stored.rs485 = true;
  CConnectDialog opened(stored, Ports());
  opened.show();
  EXPECT_TRUE(opened.rs485Box()->isVisibleTo(&opened));
  EXPECT_TRUE(opened.timeoutsGroup()->isVisibleTo(&opened));
  EXPECT_EQ(opened.advancedButton()->text(), "<< Advanced");
  EXPECT_TRUE(opened.rs485Box()->isChecked());
  opened.rs485Box()->click();
  opened.accept();
  EXPECT_FALSE(opened.values().rs485);
}

TEST(AddressDialogUi, TypedZeroPassesAndTextIsChecked) {
  CAddressDialog dialog("ABC", 5);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Sensor Address");
  dialog.addressField()->setText("0");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.address(), 0);
  EXPECT_EQ(dialog.serialText(), "ABC");
}

// Typed keys into a numeric field, from a starting text and caret.
TEST(NumericEditUi, KeystrokeFilter) {
  struct Case {
    const char* start;
    int caret;  // -1: at the end
    const char* keys;  // characters; '\b' is backspace
    const char* result;
  };
  const Case cases[] = {
      {"", -1, "7", "7"},     {"", -1, "-", ""},       {"", -1, ".", ""},
      {"5", 0, "-", "-5"},    {"1", -1, ".", "1."},    {"1", -1, "\b", "1"},
      {"12", 1, " ", "12"},   {"12", -1, " 3", "123"}, {"1.5", -1, "x", "1.5"},
      {"15", -1, "\b", "1"},  {"2", -1, "e3", "2e3"},
  };
  NumericEdit field;
  Focus(&field, &field);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.start + "\" + \"" + c.keys + "\"");
    field.setText(c.start);
    field.setCursorPosition(c.caret < 0 ? static_cast<int>(field.text().size()) : c.caret);
    for (const char* k = c.keys; *k != '\0'; ++k) {
      if (*k == '\b') {
        QTest::keyClick(&field, Qt::Key_Backspace);
      } else {
        QTest::keyClicks(&field, QString(QLatin1Char(*k)));
      }
    }
    EXPECT_EQ(field.text().toStdString(), c.result);
  }
  // Texts set by the program are taken as they are; messages stay off.
  field.setText("abc");
  EXPECT_EQ(field.text(), "abc");
  EXPECT_EQ(field.GetMessages(), 0);
  EXPECT_EQ(field.Check(), kNumericNotANumber);
  field.SetValue(1.5f);
  EXPECT_EQ(field.text(), "1.500000");
  EXPECT_EQ(field.GetValue(), 1.5f);
  field.SetRange(10.0f, 0.0f);
  field.setText("11");
  EXPECT_EQ(field.Check(), kNumericOutOfRange);
}

// Every control a user can act on has a name a screen reader announces.
TEST(AccessibleNames, ControlsOfTheDialogs) {
  CConnectDialog connectDialog(ConnectValues{}, Ports());
  CAddressDialog addressDialog("ABC", 5);
  CBoudRateDialog baudDialog(1);
  for (QWidget* dialog : std::initializer_list<QWidget*>{&connectDialog, &addressDialog, &baudDialog}) {
    dialog->show();
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
      const bool actionable = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                              qobject_cast<QComboBox*>(w);
      if (!actionable || qobject_cast<QLineEdit*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget()))
        continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      ASSERT_NE(a, nullptr);
      EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
          << dialog->windowTitle().toStdString() << ": " << w->metaObject()->className();
    }
  }
}

}  // namespace
}  // namespace uitest
