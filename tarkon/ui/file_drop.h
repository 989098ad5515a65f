#pragma once
// Files dropped on the main window. The engine judges the file
// (fleet::ExamineDroppedFile) and whether it can be opened now; this
// opens what it names: a settings backup in the restore's difference
// table, a firmware image in the upload dialog with its kind and path
// filled in. A refusal is shown in a message box that says why.

class CKRV02Doc;
class QMimeData;
class QWidget;

// Whether a drag carries something the window takes a look at (local files).
bool DragCarriesFiles(const QMimeData* data);
// Handles a drop; true when a dialog was opened for it.
bool OpenDroppedFiles(CKRV02Doc& doc, const QMimeData* data, QWidget* parent);
