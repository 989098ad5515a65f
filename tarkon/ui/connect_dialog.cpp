#include "tarkon/ui/connect_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include "tarkon/document/connect_values.h"
#include "tarkon/document/port_watch.h"
#include "tarkon/ui/ui_texts.h"

namespace {

QComboBox* MakeList(QWidget* parent, const QStringList& items) {
  auto* box = new QComboBox(parent);
  box->addItems(items);
  return box;
}

QLineEdit* MakeDigitsField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  return field;
}

// The full by-id path of a device shows as its tool tip.
void AddEntries(QComboBox* box, const std::vector<PortEntry>& entries) {
  for (const PortEntry& entry : entries) {
    box->addItem(entry.text);
    if (!entry.toolTip.isEmpty()) box->setItemData(box->count() - 1, entry.toolTip, Qt::ToolTipRole);
  }
}

}  // namespace

CConnectDialog::CConnectDialog(const ConnectValues& filled, std::vector<PortEntry> ports, QWidget* parent)
    : QDialog(parent), state_(filled), ports_(std::move(ports)) {
  setWindowTitle(QStringLiteral("Connect"));

  auto* portGroup = new QGroupBox(QStringLiteral("Port:"), this);
  port_ = new QComboBox(portGroup);
  port_->setEditable(true);
  port_->setInsertPolicy(QComboBox::NoInsert);
  AddEntries(port_, ports_);
  auto* portForm = new QFormLayout(portGroup);
  portForm->addRow(QStringLiteral("&Name:"), port_);

  QStringList rates;
  for (const std::string& rate : BaudRateTexts()) rates << QString::fromStdString(rate);
  baud_ = MakeList(this, rates);
  stopBits_ = MakeList(this, {"1", "1.5", "2"});
  parity_ = new QCheckBox(QStringLiteral("Parity"), this);
  parityList_ = MakeList(this, {"Even", "Mark", "No Parity", "Odd"});
  parityList_->setAccessibleName(QStringLiteral("Parity"));
  dataBits_ = MakeList(this, {"8", "7", "6", "5", "4"});

  address_ = MakeDigitsField(this);
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  up_->setAccessibleName(QStringLiteral("Increase address"));
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  down_->setAccessibleName(QStringLiteral("Decrease address"));
  auto* addressRow = new QHBoxLayout;
  addressRow->addWidget(address_);
  addressRow->addWidget(up_);
  addressRow->addWidget(down_);
  global_ = new QCheckBox(QStringLiteral("Use global address"), this);
  warning_ = new QLabel(
      QStringLiteral("* Use of a global address may cause not proper command execution if multiple sensors are "
                     "connected."),
      this);
  warning_->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Boudrate:"), baud_);
  form->addRow(QStringLiteral("&Stop bit:"), stopBits_);
  form->addRow(parity_, parityList_);
  form->addRow(QStringLiteral("N&um bits:"), dataBits_);
  form->addRow(QStringLiteral("Sensor &address:"), addressRow);
  qobject_cast<QLabel*>(form->labelForField(addressRow))->setBuddy(address_);
  form->addRow(QString(), global_);
  form->addRow(QString(), warning_);
  autoReconnect_ = new QCheckBox(QStringLiteral("Re&connect automatically"), this);
  autoReconnect_->setToolTip(
      QStringLiteral("When the adapter of a lost connection is plugged back in, connect again at once"));
  form->addRow(QString(), autoReconnect_);

  timeouts_ = new QGroupBox(QStringLiteral("Communication timeouts:"), this);
  readTimeout_ = MakeDigitsField(timeouts_);
  writeTimeout_ = MakeDigitsField(timeouts_);
  auto* timeoutForm = new QFormLayout(timeouts_);
  timeoutForm->addRow(QStringLiteral("&Read multiplier:"), readTimeout_);
  timeoutForm->addRow(QStringLiteral("&Write multiplier:"), writeTimeout_);
  rs485_ = new QCheckBox(QStringLiteral("RS-485 direction control"), this);
  rs485_->setToolTip(
      QStringLiteral("Let the driver switch the RS-485 transmitter with RTS (only for adapters that need it)"));

  auto* ok = new QPushButton(QStringLiteral("Ok"), this);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  advanced_ = new QPushButton(QStringLiteral("Advanced >>"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(advanced_);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(portGroup);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->addWidget(timeouts_);
  layout->addWidget(rs485_);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // grows and shrinks with the advanced part
  timeouts_->hide();
  rs485_->hide();

  connect(ok, &QPushButton::clicked, this, &CConnectDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(advanced_, &QPushButton::clicked, this, &CConnectDialog::ToggleAdvanced);
  connect(parity_, &QCheckBox::clicked, this, [this] {
    Pull();
    state_.ClickParity();
    Push();
  });
  connect(global_, &QCheckBox::clicked, this, [this] {
    Pull();
    state_.ClickGlobalAddress();
    Push();
  });
  connect(address_, &QLineEdit::editingFinished, this, [this] {
    Pull();
    state_.LeaveAddressField();
    Push();
  });
  connect(up_, &QToolButton::clicked, this, [this] { StepAddress(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepAddress(-1); });

  port_->setCurrentText(QString::fromStdString(state_.portText));
  Push();
  // A connection that uses RS-485 mode says so at once.
  if (state_.rs485) ToggleAdvanced();
}

CConnectDialog::~CConnectDialog() {
  // After this nothing more is posted; what was posted is dropped with the
  // dialog.
  if (watch_ != nullptr) watch_->Unsubscribe(watchToken_);
}

void CConnectDialog::FollowPorts(PortWatch& watch) {
  if (watch_ != nullptr) return;
  watch_ = &watch;
  watchToken_ = watch.Subscribe([this](const PortListChange&) {
    QMetaObject::invokeMethod(
        this, [this] { ReplacePorts(ConnectPortEntries(watch_->Found(), recent_)); }, Qt::QueuedConnection);
  });
  // A change before the subscription is in this list; one after is posted.
  ReplacePorts(ConnectPortEntries(watch.Found(), recent_));
}

void CConnectDialog::OfferRecentPorts(std::vector<std::string> recent) {
  recent_ = std::move(recent);
  ReplacePorts(ConnectPortEntries(watch_ != nullptr ? watch_->Found() : ListPorts(nullptr).found, recent_));
}

// A new list under the user's choice: an entry stays chosen while its port
// is listed (under its new text, if that changed); a device that went away
// stays as its path, as if typed, and is chosen again when it comes back;
// a typed text stays as typed.
void CConnectDialog::ReplacePorts(std::vector<PortEntry> ports) {
  const QString shown = port_->currentText();
  const int cursor = port_->lineEdit()->cursorPosition();
  const PortEntry* chosen = nullptr;
  for (const PortEntry& entry : ports_)
    if (entry.text == shown) chosen = &entry;
  // What the shown text stands for: an entry's port, or a path as typed.
  const std::string port = chosen != nullptr ? chosen->portText : shown.toStdString();
  const std::string model = chosen != nullptr ? chosen->virtualModel : std::string();
  QString next = chosen != nullptr ? QString::fromStdString(port) : shown;
  for (const PortEntry& entry : ports)
    if (entry.portText == port && entry.virtualModel == model && (!port.empty() || !model.empty())) next = entry.text;
  ports_ = std::move(ports);
  port_->clear();
  AddEntries(port_, ports_);
  port_->setCurrentText(next);
  if (next == shown) port_->lineEdit()->setCursorPosition(cursor);
}

// Controls -> state.
void CConnectDialog::Pull() {
  state_.portText = port_->currentText().toStdString();
  state_.baudChoice = baud_->currentIndex();
  state_.stopBitChoice = stopBits_->currentIndex();
  state_.parityChoice = parityList_->currentIndex();
  state_.dataBitChoice = dataBits_->currentIndex();
  state_.addressText = address_->text().toStdString();
  state_.readTimeoutText = readTimeout_->text().toStdString();
  state_.writeTimeoutText = writeTimeout_->text().toStdString();
  state_.rs485 = rs485_->isChecked();
}

// State -> controls.
void CConnectDialog::Push() {
  baud_->setCurrentIndex(state_.baudChoice);
  stopBits_->setCurrentIndex(state_.stopBitChoice);
  parity_->setChecked(state_.parityEnabled());
  parityList_->setCurrentIndex(state_.parityChoice);
  parityList_->setEnabled(state_.parityListEnabled());
  dataBits_->setCurrentIndex(state_.dataBitChoice);
  address_->setText(QString::fromStdString(state_.addressText));
  address_->setEnabled(state_.addressFieldEnabled());
  up_->setEnabled(state_.spinLow() != state_.spinHigh());
  down_->setEnabled(state_.spinLow() != state_.spinHigh());
  global_->setChecked(state_.globalAddress());
  warning_->setVisible(state_.warningVisible());
  readTimeout_->setText(QString::fromStdString(state_.readTimeoutText));
  writeTimeout_->setText(QString::fromStdString(state_.writeTimeoutText));
  rs485_->setChecked(state_.rs485);
}

// The spin control: one step within its range.
void CConnectDialog::StepAddress(int step) {
  const int value = std::clamp(address_->text().toInt() + step, state_.spinLow(), state_.spinHigh());
  address_->setText(QString::number(value));
  Pull();
  state_.LeaveAddressField();
  Push();
}

void CConnectDialog::ToggleAdvanced() {
  const bool show = timeouts_->isHidden();
  timeouts_->setVisible(show);
  rs485_->setVisible(show);
  advanced_->setText(show ? QStringLiteral("<< Advanced") : QStringLiteral("Advanced >>"));
}

void CConnectDialog::accept() {
  Pull();
  ConnectValues values;
  const std::string message = state_.Accept(&values);
  if (!message.empty()) {
    QMessageBox::warning(this, ProgramCaption(), QString::fromStdString(message));
    return;
  }
  // A list entry stands for its device or virtual sensor; a typed text is
  // the port text itself.
  virtualModel_.clear();
  for (const PortEntry& entry : ports_) {
    if (entry.text == port_->currentText()) {
      values.portText = entry.portText;
      virtualModel_ = entry.virtualModel;
      break;
    }
  }
  values_ = values;
  QDialog::accept();
}
