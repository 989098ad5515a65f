#include "tarkon/ui/parameters_pane.h"

#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <set>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/parameters_model.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A label whose spoken name is its text.
void SetSpokenText(QLabel* label, const QString& text) {
  label->setText(text);
  label->setAccessibleName(text);
}

const QString kFileFilter = QStringLiteral("Settings files (*.json);;All files (*)");

}  // namespace

bool CParametersView::Editing() const { return state() == QAbstractItemView::EditingState; }

CParametersPane::CParametersPane(CKRV02Doc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), table_(std::make_unique<fleet::ParameterTable>(doc)) {
  model_ = new CParametersModel(*table_, this);
  view_ = new CParametersView(this);
  view_->setObjectName(QStringLiteral("parametersTable"));
  view_->setAccessibleName(QStringLiteral("Parameters"));
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->setTabKeyNavigation(false);  // Tab leaves the table for the buttons
  view_->verticalHeader()->hide();
  view_->setWordWrap(false);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->installEventFilter(this);

  fileLine_ = new QLabel(this);
  fileLine_->hide();
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  write_ = new QPushButton(QStringLiteral("&Write changed"), this);
  revert_ = new QPushButton(QStringLiteral("Re&vert"), this);
  undo_ = new QPushButton(QStringLiteral("&Undo last write"), this);
  apply_ = new QPushButton(QStringLiteral("&Apply file values"), this);
  take_ = new QPushButton(QStringLiteral("&Take sensor values"), this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {write_, revert_, undo_, apply_, take_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fileLine_);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  layout->addWidget(status_);

  connect(write_, &QPushButton::clicked, this, &CParametersPane::WriteChanged);
  connect(revert_, &QPushButton::clicked, this, &CParametersPane::Revert);
  connect(undo_, &QPushButton::clicked, this, &CParametersPane::UndoLastWrite);
  connect(apply_, &QPushButton::clicked, this, &CParametersPane::ApplyFileValues);
  connect(take_, &QPushButton::clicked, this, &CParametersPane::TakeSensorValues);
  connect(model_, &CParametersModel::message, this, [this](const QString& text) {
    SetSpokenText(status_, text);
    UpdateControls();
  });

  open_ = new QAction(QStringLiteral("Open Settings File..."), this);
  save_ = new QAction(QStringLiteral("Save"), this);
  saveAs_ = new QAction(QStringLiteral("Save As..."), this);
  connect(open_, &QAction::triggered, this, &CParametersPane::AskOpenFile);
  connect(save_, &QAction::triggered, this, &CParametersPane::Save);
  connect(saveAs_, &QAction::triggered, this, &CParametersPane::AskSaveAs);
  Refresh();
}

CParametersPane::~CParametersPane() = default;

CParametersPane* CParametersPane::Install(QMainWindow& window, CKRV02Doc& doc) {
  auto* pane = new CParametersPane(doc, &window);
  pane->dock_ = new QDockWidget(QStringLiteral("Parameters"), &window);
  pane->dock_->setObjectName(QStringLiteral("parametersPane"));
  pane->dock_->setWidget(pane);
  // At the bottom, where it has the window's width: a row's name, values,
  // unit, range and group stand whole side by side.
  window.addDockWidget(Qt::BottomDockWidgetArea, pane->dock_);
  // Shown from the "&View" menu or by opening a settings file: the window's
  // first layout (and the panes' stored sizes) stay as they were.
  pane->dock_->hide();
  for (QAction* top : window.menuBar()->actions()) {
    QMenu* menu = top->menu();
    if (menu == nullptr || top->text() != QStringLiteral("&File")) continue;
    QAction* before = nullptr;
    for (QAction* a : menu->actions())
      if (a->isSeparator()) before = a;
    menu->insertActions(before, {pane->open_, pane->save_, pane->saveAs_});
    menu->insertSeparator(pane->open_);
    QObject::connect(menu, &QMenu::aboutToShow, pane, &CParametersPane::UpdateControls);
    break;
  }
  // The pane's own toggle in the "&View" menu.
  for (QAction* top : window.menuBar()->actions())
    if (top->menu() != nullptr && top->text() == QStringLiteral("&View"))
      top->menu()->insertAction(nullptr, pane->dock_->toggleViewAction());
  return pane;
}

void CParametersPane::Refresh() {
  table_->Reload();
  model_->Reset();
  UpdateControls();
}

void CParametersPane::UpdateControls() {
  const bool connected = table_->connected();
  const bool file = table_->fileOpen();
  const bool free = doc_.LineFree();
  view_->setColumnHidden(CParametersModel::kSensor, !connected);
  view_->setColumnHidden(CParametersModel::kFile, !file);
  // Every value shown whole: the shown columns take their texts' width.
  view_->resizeColumnsToContents();
  write_->setEnabled(free && table_->HasEdits());
  revert_->setEnabled(table_->HasEdits());
  undo_->setEnabled(free && table_->CanUndo());
  apply_->setVisible(file);
  take_->setVisible(file);
  apply_->setEnabled(free && file);
  take_->setEnabled(connected && file);
  save_->setEnabled(file);
  saveAs_->setEnabled(file);
  fileLine_->setVisible(file);
  if (file) {
    const fleet::SensorBackup* f = table_->file();
    SetSpokenText(fileLine_, QStringLiteral("File: %1 (%2, serial number %3)%4")
                                 .arg(Q(table_->filePath()), Q(f->model), Q(f->serialNumber),
                                      table_->fileModified() ? QStringLiteral(", modified") : QString()));
  }
}

void CParametersPane::ShowOutcome(const fleet::WriteOutcome& outcome) {
  model_->Reset();
  SetSpokenText(status_, Q(outcome.Text()));
  UpdateControls();
}

void CParametersPane::WriteChanged() { ShowOutcome(table_->WriteChanged()); }

void CParametersPane::WriteGroupOfCurrentRow() {
  const QModelIndex current = view_->currentIndex();
  if (!current.isValid()) return;
  const int row = current.row();
  const int column = current.column();
  ShowOutcome(table_->WriteGroupOf(static_cast<size_t>(row)));
  view_->setCurrentIndex(model_->index(row, column));
}

void CParametersPane::Revert() {
  table_->Revert();
  model_->Reset();
  SetSpokenText(status_, QStringLiteral("Unwritten edits dropped"));
  UpdateControls();
}

void CParametersPane::UndoLastWrite() { ShowOutcome(table_->UndoLastWrite()); }

std::vector<std::string> CParametersPane::SelectedNames() const {
  std::set<int> rows;
  for (const QModelIndex& index : view_->selectionModel()->selectedIndexes()) rows.insert(index.row());
  std::vector<std::string> names;
  for (int row : rows)
    if (row >= 0 && static_cast<size_t>(row) < table_->rows().size()) names.push_back(table_->rows()[static_cast<size_t>(row)].name);
  return names;
}

void CParametersPane::ApplyFileValues() {
  // What will be written is shown first, as a restore shows it; No is the default.
  const std::vector<std::string> names = SelectedNames();
  const fleet::ParameterTable::ApplyPlan plan = table_->PlanFileValues(names);
  model_->Reset();
  UpdateControls();
  if (!plan.error.empty()) {
    SetSpokenText(status_, Q(plan.error));
    return;
  }
  if (plan.differences.empty()) {
    SetSpokenText(status_, QStringLiteral("The sensor already holds the file's values; nothing applied"));
    return;
  }
  if (!AskYesNoDefaultNo(this, plan.question)) {
    SetSpokenText(status_, QStringLiteral("Nothing applied"));
    return;
  }
  ShowOutcome(table_->ApplyFileValues(names));
}

void CParametersPane::TakeSensorValues() {
  std::string error;
  if (!table_->TakeSensorValues(SelectedNames(), error)) {
    SetSpokenText(status_, Q("Not taken: " + error));
    return;
  }
  model_->Reset();
  SetSpokenText(status_, QStringLiteral("The sensor's values are in the file (not saved yet)"));
  UpdateControls();
}

bool CParametersPane::OpenFile(const QString& path) {
  std::string error;
  if (!table_->OpenFile(path.toStdString(), error)) {
    SetSpokenText(status_, Q("Not opened: " + error));
    return false;
  }
  model_->Reset();
  SetSpokenText(status_, QStringLiteral("Opened %1").arg(path));
  UpdateControls();
  if (dock_ != nullptr) {
    dock_->show();
    dock_->raise();
  }
  return true;
}

bool CParametersPane::SaveFileAs(const QString& path) {
  std::string error;
  if (!table_->SaveFileAs(path.toStdString(), error)) {
    SetSpokenText(status_, Q("Not saved: " + error));
    return false;
  }
  model_->Reset();
  SetSpokenText(status_, QStringLiteral("Saved %1").arg(path));
  UpdateControls();
  return true;
}

void CParametersPane::AskOpenFile() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Settings File"), QString(), kFileFilter);
  if (!path.isEmpty() && !OpenFile(path)) QMessageBox::warning(this, QStringLiteral("Tarkon"), status_->text());
}

void CParametersPane::Save() {
  if (!table_->fileOpen()) return;
  if (!SaveFileAs(Q(table_->filePath()))) QMessageBox::warning(this, QStringLiteral("Tarkon"), status_->text());
}

void CParametersPane::AskSaveAs() {
  if (!table_->fileOpen()) return;
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Settings File As"),
                                                    Q(table_->filePath()), kFileFilter);
  if (!path.isEmpty() && !SaveFileAs(path)) QMessageBox::warning(this, QStringLiteral("Tarkon"), status_->text());
}

bool CParametersPane::eventFilter(QObject* watched, QEvent* event) {
  // Enter on a row writes the row's group. While a cell is being typed in,
  // Enter ends the typing: the editor's delegate commits the text, as Tab
  // does. The key reaches the view too (the editor passes it on), and a
  // write now would rebuild the rows under the open editor and lose it.
  if (watched == view_ && event->type() == QEvent::KeyPress && !view_->Editing()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      WriteGroupOfCurrentRow();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
