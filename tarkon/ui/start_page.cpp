#include "tarkon/ui/start_page.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

StartPage::StartPage(QWidget* parent) : CSensorDialog(parent) {
  // The idle panel's own text comes first; the rest tells how to leave it.
  auto* state = new QLabel(QStringLiteral("Not Connected"), this);
  state->setAlignment(Qt::AlignCenter);
  QFont larger = state->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.4);
  state->setFont(larger);

  auto* how = new QLabel(QStringLiteral("Connect to a sensor on a serial port, or to a virtual sensor, with "
                                        "Connect... (Ctrl+N)."),
                         this);
  how->setAlignment(Qt::AlignCenter);
  how->setWordWrap(true);
  connect_ = new QPushButton(QStringLiteral("&Connect..."), this);
  connect_->setAccessibleName(QStringLiteral("Connect..."));
  connect_->setDefault(true);
  recentTitle_ = new QLabel(this);
  recentTitle_->setAlignment(Qt::AlignCenter);

  auto* column = new QVBoxLayout;
  column->addWidget(how);
  column->addWidget(connect_, 0, Qt::AlignHCenter);
  column->addSpacing(12);
  column->addWidget(recentTitle_);
  recentLayout_ = new QVBoxLayout;
  column->addLayout(recentLayout_);

  auto* layout = new QVBoxLayout(this);
  layout->addStretch(2);
  layout->addWidget(state);
  layout->addSpacing(8);
  auto* centred = new QHBoxLayout;
  centred->addStretch();
  centred->addLayout(column);
  centred->addStretch();
  layout->addLayout(centred);
  layout->addStretch(3);

  connect(connect_, &QPushButton::clicked, this, &StartPage::connectRequested);
  SetRecentPorts({});
}

void StartPage::SetRecentPorts(const std::vector<RecentPort>& ports) {
  for (QPushButton* b : recentButtons_) {
    // Later: this may run inside one of these buttons' own click.
    b->hide();
    b->deleteLater();
  }
  recentButtons_.clear();
  // Each entry is a connection at which a sensor answered, never one that
  // only was tried.
  recentTitle_->setText(ports.empty() ? QStringLiteral("The connections that work will be listed here.")
                                      : QStringLiteral("Last connections that worked:"));
  for (const RecentPort& port : ports) {
    const QString label = QString::fromStdString(RecentPortLabel(port));
    auto* button = new QPushButton(label, this);
    button->setAccessibleName(QStringLiteral("Connect to ") + label);
    button->setToolTip(QStringLiteral("Connect through ") + label + QStringLiteral(", where the sensor last answered"));
    connect(button, &QPushButton::clicked, this, [this, port] { emit recentRequested(port); });
    recentLayout_->addWidget(button);
    recentButtons_.push_back(button);
  }
}
