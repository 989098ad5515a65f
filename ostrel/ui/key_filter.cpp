#include "ostrel/ui/key_filter.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace ostrel {
namespace {

constexpr const char* kRuleProperty = "ostrelKeyRule";
constexpr const char* kMaxLengthProperty = "ostrelMaxLength";

}  // namespace

void KeyFilter::Watch(QLineEdit* edit, KeyRule rule, int maxLength) {
  // Not QLineEdit::setMaxLength: that would also cut what the program
  // shows (125.75 mm as "125.7"), and a value shown must be shown whole.
  edit->setProperty(kRuleProperty, static_cast<int>(rule));
  edit->setProperty(kMaxLengthProperty, maxLength);
  edit->installEventFilter(this);
  // Pasted text passes no key event; it is cut to the limit as typing is.
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, maxLength](const QString& text) {
    if (text.size() > maxLength) edit->setText(text.left(maxLength));
  });
}

void KeyFilter::Watch(QComboBox* list) { list->installEventFilter(this); }

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (qobject_cast<QComboBox*>(watched) != nullptr) {
    // Tab still moves the focus on; every other key is dropped.
    return key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab;
  }
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit == nullptr) return false;
  const QString text = key->text();
  if (text.isEmpty() || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
      key->key() == Qt::Key_Enter || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Tab) {
    return false;  // moving, deleting, Enter
  }
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;  // shortcuts (copy, select all)
  const auto rule = static_cast<KeyRule>(edit->property(kRuleProperty).toInt());
  const QChar c = text.at(0);
  const int maxLength = edit->property(kMaxLengthProperty).toInt();
  const bool fits = edit->text().size() - edit->selectedText().size() < maxLength;
  const bool keep = fits && text.size() == 1 && c.unicode() < 128 &&
                    KeyAccepted(rule, static_cast<char>(c.unicode()), edit->text().toStdString());
  return !keep;
}

}  // namespace ostrel
