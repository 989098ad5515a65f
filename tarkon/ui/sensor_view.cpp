#include "tarkon/ui/sensor_view.h"

#include <QLabel>
#include <QVBoxLayout>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/model_table.h"
#include "tarkon/ui/two_column_list.h"

IdlePanel::IdlePanel(QWidget* parent) : CSensorDialog(parent) {
  auto* text = new QLabel(QStringLiteral("Not Connected"), this);
  text->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
}

DiagnosticsPanel::DiagnosticsPanel(LivePanel kind, QWidget* parent)
    : CSensorDialog(parent), kind_(kind), rows_(EmptyDiagnosticRows(kind)) {
  list_ = MakeTwoColumnList(this, QStringLiteral("Diagnostics"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  Show(rows_);
}

void DiagnosticsPanel::Show(const PanelRows& rows) {
  list_->clear();
  for (const PanelRow& row : rows) {
    new QTreeWidgetItem(list_, QStringList{QString::fromStdString(row.name), QString::fromStdString(row.value)});
  }
}

void DiagnosticsPanel::Tick(CKRV02Doc& doc) {
  ++polls_;
  if (PollDiagnostics(doc, kind_, rows_)) Show(rows_);
}

CSensorParentView::CSensorParentView(QWidget* parent) : QStackedWidget(parent), idle_(new IdlePanel(this)) {
  addWidget(idle_);
  setCurrentWidget(idle_);
}

CSensorDialog* CSensorParentView::MakePanel(LivePanel kind) { return new DiagnosticsPanel(kind, this); }

void CSensorParentView::ShowPanel(int model) {
  if (model < 0 || model >= kModelCount) {
    setCurrentWidget(idle_);
    return;
  }
  const LivePanel kind = LivePanelOfModel(model);
  auto found = panels_.find(kind);
  if (found == panels_.end()) {
    CSensorDialog* panel = MakePanel(kind);
    addWidget(panel);
    found = panels_.emplace(kind, panel).first;
  }
  setCurrentWidget(found->second);
}

void CSensorParentView::Tick(CKRV02Doc& doc) {
  if (CSensorDialog* panel = currentPanel()) panel->Tick(doc);
}

CSensorDialog* CSensorParentView::currentPanel() const { return qobject_cast<CSensorDialog*>(currentWidget()); }
