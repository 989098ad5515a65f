#include "tarkon/ui/spoken_value.h"

#include <QLineEdit>

void SpeakValue(QLineEdit* field, const QString& caption) {
  auto speak = [field, caption](const QString& text) {
    field->setAccessibleName(text.isEmpty() ? caption : caption + QStringLiteral(": ") + text);
  };
  speak(field->text());
  QObject::connect(field, &QLineEdit::textChanged, field, speak);
}
