// A record shown in its controls and taken back is the same record: texts
// whole (long, padded, leading zeros, not ASCII, empty), list entries and
// check boxes as they were. Read-only values are shown but never taken, and
// a switch is never set from the record.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <string>

#include "ui_common/field_binding.h"

namespace {

struct Record {
  std::string address;
  std::string threshold;
  std::string identity;  // shown only
  std::string unit;      // shown only
  int mode = -1;
  bool hold = false;
  bool showAll = false;  // the user's switch
  bool operator==(const Record&) const = default;
};

TEST(FieldBinding, RecordToFieldsToRecordKeepsEveryValueWhole) {
  QWidget window;
  auto* address = new QLineEdit(&window);
  auto* threshold = new QLineEdit(&window);
  auto* identity = new QLineEdit(&window);
  auto* unit = new QLabel(&window);
  auto* mode = new QComboBox(&window);
  mode->addItems({"Imperial", "Metric", "Counting down"});
  auto* hold = new QCheckBox(&window);
  auto* showAll = new QCheckBox(&window);
  ui_common::FieldBinding<Record> bind;
  bind.Text(address, &Record::address);
  bind.Text(threshold, &Record::threshold);
  bind.Shown(identity, &Record::identity);
  bind.Shown(unit, &Record::unit);
  bind.Choice(mode, &Record::mode);
  bind.Check(hold, &Record::hold);
  bind.Switch(showAll, &Record::showAll);

  const Record records[] = {
      {"0007", " 12.5000 ", "SN 00042\t", "x 0.001 inch", 2, true, false},
      {std::string(300, '9'), "\xC2\xB1" "0,5 \xC2\xB5m", "", "mm", 0, false, false},
      {"", "-0", "4.20a", "", -1, true, false},
  };
  for (const Record& record : records) {
    bind.Show(record);
    EXPECT_EQ(identity->text().toStdString(), record.identity);
    EXPECT_EQ(unit->text().toStdString(), record.unit);
    EXPECT_FALSE(bind.TextsDiffer(record));
    Record taken = bind.Take(Record{});
    taken.identity = record.identity;  // never taken
    taken.unit = record.unit;
    EXPECT_EQ(taken, record) << record.address.substr(0, 10);
  }

  // A switch follows the user, whatever the record says.
  showAll->setChecked(true);
  Record stale = records[0];
  bind.Show(stale);
  EXPECT_TRUE(showAll->isChecked());
  EXPECT_TRUE(bind.Take(stale).showAll);
  // A typed text is seen as differing from the record.
  address->setText("8");
  EXPECT_TRUE(bind.TextsDiffer(stale));
  EXPECT_EQ(bind.Take(stale).address, "8");
}

}  // namespace
