#include "tarkon/ui/setup_pane.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tarkon/ui/two_column_list.h"

namespace {
// Row data role that holds the row's command (absent: none).
constexpr int kCommandRole = Qt::UserRole + 1;
}  // namespace

CSensorSettingsDialog::CSensorSettingsDialog(QWidget* parent)
    : QWidget(parent), tabs_(new QTabWidget(this)) {
  sensorList_ = MakeList(QStringLiteral("Sensor"));
  settingsList_ = MakeList(QStringLiteral("Settings"));
  tabs_->addTab(sensorList_, QStringLiteral("Sensor"));
  tabs_->addTab(settingsList_, QStringLiteral("Settings"));
  tabs_->setAccessibleName(QStringLiteral("Sensor setup"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);
}

QTreeWidget* CSensorSettingsDialog::MakeList(const QString& accessibleName) {
  QTreeWidget* list = MakeTwoColumnList(this, accessibleName);
  connect(list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (const auto command = CommandOf(item)) emit commandRequested(*command);
  });
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& pos) {
    emit editMenuRequested(list->viewport()->mapToGlobal(pos), CommandOf(list->itemAt(pos)));
  });
  return list;
}

void CSensorSettingsDialog::AddRow(QTreeWidget* list, const QString& name, const QString& value,
                                   std::optional<DocCommand> command) {
  auto* item = new QTreeWidgetItem(list, QStringList{name, value});
  if (command) item->setData(0, kCommandRole, static_cast<int>(*command));
}

std::optional<DocCommand> CSensorSettingsDialog::CommandOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return std::nullopt;
  const QVariant data = item->data(0, kCommandRole);
  if (!data.isValid()) return std::nullopt;
  return static_cast<DocCommand>(data.toInt());
}

void CSensorSettingsDialog::Refresh(const CKRV02Doc* doc) {
  sensorList_->clear();
  settingsList_->clear();
  if (doc == nullptr || doc->currentSettings() == nullptr || !doc->connected()) return;

  std::vector<std::string> names;
  std::vector<std::string> values;
  doc->currentSettings()->Summary(names, values);

  const QString serial = QString::fromStdString(doc->sensor().serialNumberReplyText());
  AddRow(sensorList_, QStringLiteral("Serial number"), serial, std::nullopt);
  AddRow(sensorList_, QStringLiteral("Model String:"), QString::fromStdString(doc->sensor().modelString()),
         std::nullopt);
  AddRow(sensorList_, QStringLiteral("Firmware:"), QString::fromStdString(doc->sensor().firmwareText()), std::nullopt);
  AddRow(sensorList_, QStringLiteral("FPGA version"), QString::fromStdString(doc->sensor().fpgaText()), std::nullopt);
  AddRow(sensorList_, QStringLiteral("Address"), QString::number(doc->sensor().address()), DocCommand::kAddress);
  AddRow(sensorList_, QStringLiteral("Sensor baudrate"), QString::number(doc->sensor().baudRate()),
         DocCommand::kBaudRate);
  AddRow(sensorList_, QStringLiteral("Error checking mode"),
         doc->sensor().checkMode() == 0 ? QStringLiteral("Checksum") : QStringLiteral("CRC"), std::nullopt);

  AddRow(settingsList_, QStringLiteral("Serial Number"), serial, std::nullopt);
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    AddRow(settingsList_, QString::fromStdString(names[i]), QString::fromStdString(values[i]),
           DocCommand::kSensorSettings);
  }
}
