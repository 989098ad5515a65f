#include "tarkon/ui/link_view.h"

#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/pane_sizes.h"
#include "tarkon/ui/ui_texts.h"

namespace {

constexpr int kRefreshMs = 1000;
const char* const kAutoReconnectKey = "Connection/Reconnect automatically";

QSettings Profile() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kProfileName),
                   QStringLiteral("Tarkon"));
}

}  // namespace

CLinkBar::CLinkBar(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("linkBar"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::ToolTipBase);
  setForegroundRole(QPalette::ToolTipText);
  setAccessibleName(QStringLiteral("Link"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
  text_ = new QLabel(this);
  text_->setWordWrap(true);
  text_->setForegroundRole(QPalette::ToolTipText);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  reconnect_ = new QPushButton(QStringLiteral("&Reconnect"), this);
  dismiss_ = new QPushButton(QStringLiteral("Dis&miss"), this);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon);
  layout->addWidget(text_, 1);
  layout->addWidget(reconnect_);
  layout->addWidget(dismiss_);
}

CLinkView::CLinkView(QMainWindow& window, CKRV02Doc& doc, QString idleCaption)
    : QObject(&window), window_(window), doc_(doc), idleCaption_(std::move(idleCaption)) {
  status_ = new QLabel(window.statusBar());
  status_->setObjectName(QStringLiteral("linkStatus"));
  status_->setFrameShape(QFrame::Panel);
  status_->setFrameShadow(QFrame::Sunken);
  // Cut rather than widen a narrow window; the tool tip and the accessible
  // name hold the whole text.
  status_->setMinimumWidth(1);
  statusBar_ = window.statusBar();
  statusBar_->insertPermanentWidget(0, status_);
  statusBar_->installEventFilter(this);
  connect(statusBar_, &QStatusBar::messageChanged, this, &CLinkView::FitStatus);

  doc_.options().SetExplainLines(true);
  doc_.options().SetAutoReconnect(StoredAutoReconnect());
  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &CLinkView::Refresh);
  refresh_.start();
}

QWidget* CLinkView::Wrap(QWidget* mainArea) {
  auto* area = new QWidget(&window_);
  bar_ = new CLinkBar(area);
  bar_->hide();
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bar_);
  layout->addWidget(mainArea, 1);
  connect(bar_->reconnectButton(), &QPushButton::clicked, this, &CLinkView::Reconnect);
  connect(bar_->dismissButton(), &QPushButton::clicked, this, [this] { doc_.connection().DismissLinkNotice(); });
  Refresh();
  return area;
}

bool CLinkView::eventFilter(QObject* watched, QEvent* event) {
  // Not the window's statusBar(): this also runs while the window ends.
  if (watched == statusBar_ && event->type() == QEvent::Resize) FitStatus();
  return QObject::eventFilter(watched, event);
}

void CLinkView::FitStatus() {
  QStatusBar* bar = statusBar_;
  const QString message = bar->currentMessage();
  // A prompt of a menu item or button is shown whole while it lasts.
  status_->setVisible(message.isEmpty() || message == IdleStatusText());
  // The gaps and margins around each pane.
  const int gap = std::max(6, bar->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, bar));
  int beside = bar->fontMetrics().horizontalAdvance(IdleStatusText()) + 4 * gap;
  for (QWidget* other : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other != status_ && other->isVisible()) beside += other->sizeHint().width() + gap;
  }
  status_->setMaximumWidth(std::max(1, bar->width() - beside));
}

void CLinkView::Refresh() {
  const QString status = QString::fromStdString(doc_.connection().LinkStatus());
  if (status_->text() != status) {
    status_->setText(status);
    status_->setToolTip(status);
    status_->setAccessibleName(QStringLiteral("Link: ") + status);
  }
  const std::string title = doc_.connection().WindowTitle();
  window_.setWindowTitle(title.empty() ? idleCaption_ : QString::fromStdString(title));
  if (bar_ == nullptr) return;
  const LinkNotice& notice = doc_.connection().linkNotice();
  const QString text = QString::fromStdString(notice.text);
  bar_->textLabel()->setText(text);
  bar_->textLabel()->setAccessibleName(text);
  bar_->setAccessibleDescription(text);
  bar_->reconnectButton()->setVisible(notice.offersReconnect);
  bar_->reconnectButton()->setEnabled(doc_.connection().CanReconnect());
  bar_->setVisible(notice.kind != LinkNoticeKind::kNone);
}

void CLinkView::Reconnect() {
  // The document tells the window what came of it (log, notice, views).
  doc_.connection().Reconnect();
  Refresh();
}

bool CLinkView::StoredAutoReconnect() { return Profile().value(QLatin1String(kAutoReconnectKey), false).toBool(); }

void CLinkView::StoreAutoReconnect(bool on) {
  QSettings store = Profile();
  store.setValue(QLatin1String(kAutoReconnectKey), on);
}
