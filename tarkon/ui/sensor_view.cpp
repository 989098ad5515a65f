#include "tarkon/ui/sensor_view.h"

#include "tarkon/document/krv02_doc.h"
#include "tarkon/models/model_table.h"
#include "tarkon/ui/sensor_panels.h"

namespace {

// The panel of one kind, as the model table names it for a model.
CSensorDialog* NewPanel(LivePanel kind, CKRV02Doc& doc, QWidget* parent) {
  switch (kind) {
    case LivePanel::kKRV02: return new CKRV02Dlg(doc, parent);
    case LivePanel::kKRV04: return new CKRV04Dlg(doc, parent);
    case LivePanel::kQmtShort: return new CQmtShortDlg(doc, parent);
    case LivePanel::kKRV04BoardFlipper: return new CKRV04BFDlg(doc, parent);
  }
  return nullptr;
}

}  // namespace

CSensorParentView::CSensorParentView(CKRV02Doc& doc, QWidget* parent)
    : QStackedWidget(parent), idle_(new StartPage(this)) {
  addWidget(idle_);
  // One panel of each kind the model table names; models of a kind share it.
  for (const ModelEntry& model : ModelTable()) {
    if (panels_.count(model.panel) != 0) continue;
    CSensorDialog* panel = NewPanel(model.panel, doc, this);
    panels_[model.panel] = panel;
    addWidget(panel);
  }
  setCurrentWidget(idle_);
}

void CSensorParentView::ShowPanel(int model) {
  const ModelEntry* entry = ModelEntryOf(model);
  if (entry == nullptr) {
    setCurrentWidget(idle_);
    return;
  }
  setCurrentWidget(panels_.at(entry->panel));
}

void CSensorParentView::Tick(CKRV02Doc& doc) {
  if (CSensorDialog* panel = currentPanel()) panel->Tick(doc);
}

CSensorDialog* CSensorParentView::currentPanel() const { return qobject_cast<CSensorDialog*>(currentWidget()); }
