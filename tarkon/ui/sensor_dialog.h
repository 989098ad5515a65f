#pragma once
// The base of the sensor view's panels, apart from the view: the panels
// build on it and the view holds them, so neither header needs the other.

#include <QWidget>

class CKRV02Doc;

// Base of every panel: a page with a tick (each poll tick while shown).
class CSensorDialog : public QWidget {
  Q_OBJECT
 public:
  explicit CSensorDialog(QWidget* parent = nullptr) : QWidget(parent) {}
  // Runs on the user-interface thread at each poll tick while the sensor
  // may be polled; the base does nothing.
  virtual void Tick(CKRV02Doc& doc) { (void)doc; }
};
