#pragma once
// A field that shows a value (read-only) is spoken with its value: its
// accessible name is "Caption: value" and follows every change of the
// text, so a screen reader does not announce the caption alone.

#include <QString>

class QLineEdit;

void SpeakValue(QLineEdit* field, const QString& caption);
