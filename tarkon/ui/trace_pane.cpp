#include "tarkon/ui/trace_pane.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/fleet/fleet_tools.h"
#include "tarkon/ui/ui_texts.h"

CTracePane::CTracePane(CKRV02Doc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
  model_ = new QStringListModel(this);
  list_ = new QListView(this);
  list_->setModel(model_);
  list_->setUniformItemSizes(true);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  list_->setAccessibleName(QStringLiteral("Protocol trace lines"));

  pause_ = new QPushButton(QStringLiteral("Pause"), this);
  pause_->setCheckable(true);
  pause_->setAccessibleName(QStringLiteral("Pause"));
  pause_->setToolTip(QStringLiteral("While paused, frames are not recorded"));
  clear_ = new QPushButton(QStringLiteral("Clear"), this);
  clear_->setAccessibleName(QStringLiteral("Clear"));
  save_ = new QPushButton(QStringLiteral("Save..."), this);
  save_->setAccessibleName(QStringLiteral("Save"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pause_);
  buttons->addWidget(clear_);
  buttons->addWidget(save_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(buttons);
  layout->addWidget(list_);

  connect(pause_, &QPushButton::toggled, this, [this](bool on) { log_.SetPaused(on); });
  connect(clear_, &QPushButton::clicked, this, &CTracePane::Clear);
  connect(save_, &QPushButton::clicked, this, &CTracePane::Save);

  // A line may come from a bus scan's thread: only post. The first post of
  // a burst takes every line; the rest find nothing new.
  log_.SetListener([this] {
    QMetaObject::invokeMethod(this, &CTracePane::TakeNewLines, Qt::QueuedConnection);
  });
}

CTracePane::~CTracePane() {
  SetActive(false);
  log_.SetListener(nullptr);
}

void CTracePane::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  fleet::AttachProtocolTrace(doc_, active ? &log_.trace() : nullptr);
}

QStringList CTracePane::Lines() const { return model_->stringList(); }

void CTracePane::TakeNewLines() {
  const std::vector<std::string> lines = log_.LinesSince(taken_);
  if (lines.empty()) return;
  const int shown = model_->rowCount();
  model_->insertRows(shown, static_cast<int>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i)
    model_->setData(model_->index(shown + static_cast<int>(i)), QString::fromStdString(lines[i]));
  const int excess = model_->rowCount() - static_cast<int>(fleet::TraceLog::kMaxLines);
  if (excess > 0) model_->removeRows(0, excess);
  list_->scrollToBottom();
}

void CTracePane::Clear() {
  log_.Clear();
  model_->setStringList({});
}

void CTracePane::Save() {
  QFileDialog dialog(this, QStringLiteral("Save Protocol Trace"), QString(),
                     QStringLiteral("Trace files (*.txt *.log);;All files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.selectFile(QStringLiteral("trace.txt"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  std::string error;
  if (!log_.Save(dialog.selectedFiles().first().toStdString(), error))
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString("The trace was not saved: " + error));
}
