#pragma once
// Drops the keys a text field or list does not take. Text fields keep the
// characters of their rule (ostrel/operations/field_keys.h), Backspace,
// Enter and the keys that only move or select; lists take no key at all.

#include <QObject>

#include "ostrel/operations/field_keys.h"

class QComboBox;
class QLineEdit;

namespace ostrel {

class KeyFilter : public QObject {
 public:
  explicit KeyFilter(QObject* parent) : QObject(parent) {}
  // Filters `edit` by `rule` and limits what is typed or pasted into it to
  // `maxLength` characters; texts the program sets are shown whole.
  void Watch(QLineEdit* edit, KeyRule rule, int maxLength);
  void Watch(QComboBox* list);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace ostrel
