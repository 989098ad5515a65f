#pragma once
// The client area of the main window: one panel per kind of sensor plus the
// idle panel ("Not Connected"), exactly one shown at a time. The document
// picks the panel at connect and disconnect; the poll tick goes to the
// current panel. The panels keep their switches and lists while hidden, so
// a later connect of the same model finds them as they were.

#include <QStackedWidget>
#include <QWidget>
#include <map>

#include "tarkon/document/live_panels.h"
#include "tarkon/ui/sensor_dialog.h"
#include "tarkon/ui/start_page.h"

class CKRV02Doc;


class CSensorParentView : public QStackedWidget {
  Q_OBJECT
 public:
  // Creates the idle panel and the four model panels, all but the idle
  // panel hidden.
  explicit CSensorParentView(CKRV02Doc& doc, QWidget* parent = nullptr);

  // The panel of a model index; -1 (or any index without a panel) shows
  // the idle panel.
  void ShowPanel(int model);
  // The poll tick: handed to the current panel.
  void Tick(CKRV02Doc& doc);
  CSensorDialog* currentPanel() const;
  CSensorDialog* panel(LivePanel kind) const { return panels_.at(kind); }
  // The idle panel: "Not Connected" and how to connect.
  StartPage* startPage() const { return idle_; }

 private:
  StartPage* idle_;
  std::map<LivePanel, CSensorDialog*> panels_;
};
