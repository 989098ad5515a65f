#pragma once
// Form controls bound to the members of a record: a window keeps its
// values in a plain record that the engine reads and writes, and the
// binding moves them between the record and the controls in one place.
//
// Texts travel whole: a field shows the record's text as it is and gives
// back exactly what it shows, so writing back what was read writes what
// was read. (Typing limits belong in a key filter, not in the field's
// maximum length, which would also cut what is shown.)

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <string>
#include <utility>
#include <vector>

namespace ui_common {

template <typename Record>
class FieldBinding {
 public:
  // A field the user types in: shown and taken.
  void Text(QLineEdit* edit, std::string Record::*member) { texts_.emplace_back(edit, member); }
  // A list whose chosen entry is the member (-1: nothing chosen).
  void Choice(QComboBox* box, int Record::*member) { choices_.emplace_back(box, member); }
  void Check(QCheckBox* box, bool Record::*member) { checks_.emplace_back(box, member); }
  // A box that is the user's switch alone: taken into the record, never
  // set from it (a record taken before the user flipped it would flip it
  // back).
  void Switch(QCheckBox* box, bool Record::*member) { switches_.emplace_back(box, member); }
  // Read-only values (a read-only field, a label): shown, never taken.
  void Shown(QLineEdit* edit, std::string Record::*member) { shownEdits_.emplace_back(edit, member); }
  void Shown(QLabel* label, std::string Record::*member) { shownLabels_.emplace_back(label, member); }

  // The record with every member bound to an input as the controls show it.
  Record Take(Record record) const {
    for (const auto& [edit, member] : texts_) record.*member = edit->text().toStdString();
    for (const auto& [box, member] : choices_) record.*member = box->currentIndex();
    for (const auto& [box, member] : checks_) record.*member = box->isChecked();
    for (const auto& [box, member] : switches_) record.*member = box->isChecked();
    return record;
  }

  // A control is set only when it shows something else: setting a field
  // anew would move the cursor of a field being typed in, and setting a
  // box anew would announce a change that did not happen.
  void Show(const Record& record) const {
    for (const auto& [edit, member] : texts_) Put(edit, record.*member);
    for (const auto& [edit, member] : shownEdits_) Put(edit, record.*member);
    for (const auto& [label, member] : shownLabels_) {
      const QString text = QString::fromStdString(record.*member);
      if (label->text() != text) label->setText(text);
    }
    for (const auto& [box, member] : choices_) {
      const int entry = record.*member >= 0 && record.*member < box->count() ? record.*member : -1;
      if (box->currentIndex() != entry) box->setCurrentIndex(entry);
    }
    for (const auto& [box, member] : checks_)
      if (box->isChecked() != record.*member) box->setChecked(record.*member);
  }

  // True when a text field shows other than the record's text.
  bool TextsDiffer(const Record& record) const {
    for (const auto& [edit, member] : texts_)
      if (edit->text().toStdString() != record.*member) return true;
    return false;
  }

 private:
  static void Put(QLineEdit* edit, const std::string& value) {
    const QString text = QString::fromStdString(value);
    if (edit->text() != text) edit->setText(text);
  }

  std::vector<std::pair<QLineEdit*, std::string Record::*>> texts_;
  std::vector<std::pair<QComboBox*, int Record::*>> choices_;
  std::vector<std::pair<QCheckBox*, bool Record::*>> checks_;
  std::vector<std::pair<QCheckBox*, bool Record::*>> switches_;
  std::vector<std::pair<QLineEdit*, std::string Record::*>> shownEdits_;
  std::vector<std::pair<QLabel*, std::string Record::*>> shownLabels_;
};

}  // namespace ui_common
