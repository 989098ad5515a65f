#include "tarkon/ui/file_drop.h"

#include <QComboBox>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/dropped_file.h"
#include "tarkon/ui/settings_backup_dialogs.h"
#include "tarkon/ui/ui_texts.h"
#include "tarkon/ui/upload_dialog.h"

bool DragCarriesFiles(const QMimeData* data) { return data != nullptr && data->hasUrls(); }

bool OpenDroppedFiles(CKRV02Doc& doc, const QMimeData* data, QWidget* parent) {
  std::vector<std::string> paths;
  int others = 0;
  if (data != nullptr) {
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
      else ++others;
    }
  }
  auto refuse = [parent](const std::string& why) {
    QMessageBox::warning(parent, ProgramCaption(), QString::fromStdString(why));
    return false;
  };
  if (const std::string why = fleet::DropRefusal(paths, others); !why.empty()) return refuse(why);

  fleet::DroppedFile file = fleet::ExamineDroppedFile(paths.front());
  if (const std::string why = fleet::DroppedFileUnavailable(doc, file); !why.empty()) return refuse(why);
  if (file.kind == fleet::DroppedKind::kBackup) {
    RestoreSensorSettingsFrom(doc, std::move(file.backup), file.path, parent);
    return true;
  }
  CUploadDlg dialog(doc, parent);
  dialog.kindBox()->setCurrentIndex(file.uploadKind);
  dialog.SetFilePath(QString::fromStdString(file.path));
  dialog.exec();
  return true;
}
