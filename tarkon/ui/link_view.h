#pragma once
// The window's view of the link to the sensor: the status-bar text (port,
// line settings, sensor, polling and reply counts), the window title that
// names the sensor, and the bar across the top of the main area that says
// why the link went away, with "Reconnect" and "Dismiss". Every text comes
// from the document; this only shows it and passes the two presses on.

#include <QFrame>
#include <QObject>
#include <QString>
#include <QTimer>

class CKRV02Doc;
class QLabel;
class QMainWindow;
class QPushButton;
class QStatusBar;

// The bar: the notice's words and its two buttons, in the colours of the
// desktop's tool-tip palette (dark palettes included).
class CLinkBar : public QFrame {
  Q_OBJECT
 public:
  explicit CLinkBar(QWidget* parent = nullptr);
  QLabel* textLabel() const { return text_; }
  QPushButton* reconnectButton() const { return reconnect_; }
  QPushButton* dismissButton() const { return dismiss_; }

 private:
  QLabel* text_;
  QPushButton* reconnect_;
  QPushButton* dismiss_;
};

class CLinkView : public QObject {
  Q_OBJECT
 public:
  // `idleCaption`: the window title while not connected.
  CLinkView(QMainWindow& window, CKRV02Doc& doc, QString idleCaption);

  // The main area with the bar across its top (the window's central widget).
  QWidget* Wrap(QWidget* mainArea);
  // Re-reads the document: status text, title, bar.
  void Refresh();

  bool eventFilter(QObject* watched, QEvent* event) override;

  CLinkBar* bar() const { return bar_; }
  QLabel* statusLabel() const { return status_; }

  // "Reconnect automatically", kept per user in the profile store.
  static bool StoredAutoReconnect();
  static void StoreAutoReconnect(bool on);

 private:
  void Reconnect();
  // The status text has the bar's width less the idle message and the
  // key indicators beside it; while a prompt shows, the prompt has it all.
  void FitStatus();

  QMainWindow& window_;
  CKRV02Doc& doc_;
  QString idleCaption_;
  CLinkBar* bar_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* status_ = nullptr;
  // The counts of the last minute change without any event.
  QTimer refresh_;
};
