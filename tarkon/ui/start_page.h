#pragma once
// The main area before a connection: "Not Connected", then how to connect:
// a "Connect..." button (the menu's Connect) and one button for each of
// the last connections that worked (port, baud rate and address at which
// a sensor answered), which connects there at once through the same
// connect operation.

#include <QWidget>
#include <vector>

#include "tarkon/document/recent_ports.h"
#include "tarkon/ui/sensor_dialog.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

class StartPage : public CSensorDialog {
  Q_OBJECT
 public:
  explicit StartPage(QWidget* parent = nullptr);

  // Shows one button per port, newest first (none: the text says so).
  void SetRecentPorts(const std::vector<RecentPort>& ports);

  QPushButton* connectButton() const { return connect_; }
  const std::vector<QPushButton*>& recentButtons() const { return recentButtons_; }

 signals:
  void connectRequested();
  void recentRequested(const RecentPort& port);

 private:
  QPushButton* connect_;
  QLabel* recentTitle_;
  QVBoxLayout* recentLayout_;
  std::vector<QPushButton*> recentButtons_;
};
