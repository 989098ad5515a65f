#include "tarkon/ui/change_history_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdint>
#include <iterator>

#include "history/change_history.h"

namespace {

const QStringList kColumns = {QStringLiteral("Time (UTC)"), QStringLiteral("Serial number"), QStringLiteral("Model"),
                              QStringLiteral("Setting"),    QStringLiteral("Old value"),     QStringLiteral("New value"),
                              QStringLiteral("Outcome"),    QStringLiteral("Program"),       QStringLiteral("User"),
                              QStringLiteral("Port")};

QTableWidgetItem* Cell(const std::string& text) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

}  // namespace

CChangeHistoryDialog::CChangeHistoryDialog(std::string path, QWidget* parent)
    : QDialog(parent), path_(std::move(path)) {
  setWindowTitle(QStringLiteral("Change History"));
  serial_ = new QLineEdit(this);
  serial_->setAccessibleName(QStringLiteral("Serial number filter"));
  serial_->setPlaceholderText(QStringLiteral("every sensor"));
  since_ = new QLineEdit(this);
  since_->setAccessibleName(QStringLiteral("Since filter"));
  since_->setPlaceholderText(QStringLiteral("2026-12-08 or 2026-12-08T10:30 (UTC)"));
  auto* filters = new QFormLayout;
  filters->addRow(QStringLiteral("&Serial number:"), serial_);
  filters->addRow(QStringLiteral("S&ince:"), since_);

  table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
  table_->setHorizontalHeaderLabels(kColumns);
  table_->setAccessibleName(QStringLiteral("Changes, newest first"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  status_ = new QLabel(this);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* refresh = buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
  connect(refresh, &QPushButton::clicked, this, &CChangeHistoryDialog::Reload);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(serial_, &QLineEdit::textChanged, this, &CChangeHistoryDialog::Reload);
  connect(since_, &QLineEdit::textChanged, this, &CChangeHistoryDialog::Reload);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(980, 480);
  Reload();
}

void CChangeHistoryDialog::Reload() {
  history::Filter filter;
  filter.serialNumber = serial_->text().trimmed().toStdString();
  QString note;
  const std::string since = since_->text().trimmed().toStdString();
  if (!since.empty() && !history::NormalizeSince(since, filter.since))
    note = QStringLiteral("Since takes a date (2026-12-08) or a UTC time (2026-12-08T10:30); not applied. ");
  // The whole file, however long; older changes beyond what a view keeps are counted.
  const history::Selection read = history::ReadSelected(path_, filter, SIZE_MAX);
  if (!read.ok) {
    table_->setRowCount(0);
    status_->setText(QString::fromStdString("Cannot read " + path_ + ": " + read.error));
    return;
  }
  const std::vector<history::Entry>& entries = read.entries;
  table_->setRowCount(static_cast<int>(entries.size()));
  for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
    const history::Entry& e = entries[static_cast<size_t>(row)];
    const std::string cells[] = {e.time,     e.serialNumber, e.model,   e.setting, e.oldValue,
                                 e.newValue, e.outcome,      e.program, e.user,    e.port};
    for (int column = 0; column < static_cast<int>(std::size(cells)); ++column)
      table_->setItem(row, column, Cell(cells[column]));
  }
  table_->resizeColumnsToContents();
  note += QStringLiteral("%1 of %2 changes shown").arg(entries.size()).arg(read.total);
  if (read.notKept() > 0)
    note += QStringLiteral("; %1 older of %2 not shown (too many to hold)").arg(read.notKept()).arg(read.matched);
  if (read.damagedLines > 0) note += QStringLiteral("; %1 damaged lines skipped").arg(read.damagedLines);
  status_->setText(note);
  status_->setAccessibleName(note);
}
