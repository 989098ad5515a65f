#pragma once
// The "System:" pane: what is known about the connected sensor, in two
// tabs ("Sensor" and "Settings"), each row carrying the menu command that
// changes its value. A double-click runs the row's command as the menu
// does; a right-click asks for the "&Edit " menu with the row's command as
// its default item.

#include <QWidget>
#include <optional>

#include "tarkon/document/krv02_doc.h"

class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class CSensorSettingsDialog : public QWidget {
  Q_OBJECT
 public:
  explicit CSensorSettingsDialog(QWidget* parent = nullptr);

  // Empties both lists and, while `doc` is connected and its model has
  // settings, fills them from the connection state and the settings
  // summary.
  void Refresh(const CKRV02Doc* doc);

  QTabWidget* tabs() const { return tabs_; }
  QTreeWidget* sensorList() const { return sensorList_; }
  QTreeWidget* settingsList() const { return settingsList_; }

 signals:
  void commandRequested(DocCommand command);
  // Right-click at `globalPos`; the command of the row hit, if it has one.
  void editMenuRequested(const QPoint& globalPos, std::optional<DocCommand> defaultCommand);

 private:
  QTreeWidget* MakeList(const QString& accessibleName);
  static void AddRow(QTreeWidget* list, const QString& name, const QString& value,
                     std::optional<DocCommand> command);
  static std::optional<DocCommand> CommandOf(const QTreeWidgetItem* item);

  QTabWidget* tabs_;
  QTreeWidget* sensorList_;
  QTreeWidget* settingsList_;
};
