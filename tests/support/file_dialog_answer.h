#pragma once
// Answers an open file dialog (Qt's own widgets, offscreen) the way a user
// does: the path typed into its name box. QFileDialog::selectFile() leaves a
// name box that has the focus as it is, and whether it has the focus when a
// test's handler runs depends on timing; the accept would then take the
// dialog's proposed name.

#include <QFileDialog>
#include <QLineEdit>
#include <QString>

namespace testsupport {

inline void TypeFileName(QFileDialog* dialog, const QString& path) {
  if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
    name->setText(path);
  } else {
    dialog->selectFile(path);
  }
}

}  // namespace testsupport
