#include "tarkon/ui/sensor_view.h"

#include "tarkon/document/krv02_doc.h"
#include "tarkon/models/model_table.h"
#include "tarkon/ui/sensor_panels.h"

CSensorParentView::CSensorParentView(CKRV02Doc& doc, QWidget* parent)
    : QStackedWidget(parent), idle_(new StartPage(this)) {
  addWidget(idle_);
  panels_[LivePanel::kKRV02] = new CKRV02Dlg(doc, this);
  panels_[LivePanel::kKRV04] = new CKRV04Dlg(doc, this);
  panels_[LivePanel::kQmtShort] = new CQmtShortDlg(doc, this);
  panels_[LivePanel::kKRV04BoardFlipper] = new CKRV04BFDlg(doc, this);
  for (const auto& [kind, panel] : panels_) addWidget(panel);
  setCurrentWidget(idle_);
}

void CSensorParentView::ShowPanel(int model) {
  if (model < 0 || model >= kModelCount) {
    setCurrentWidget(idle_);
    return;
  }
  setCurrentWidget(panels_.at(LivePanelOfModel(model)));
}

void CSensorParentView::Tick(CKRV02Doc& doc) {
  if (CSensorDialog* panel = currentPanel()) panel->Tick(doc);
}

CSensorDialog* CSensorParentView::currentPanel() const { return qobject_cast<CSensorDialog*>(currentWidget()); }
