#pragma once
// The name/value lists of the setup pane and the sensor views: columns
// "Name" and "Value", the first two fifths of the width, full-row
// selection, grid-like rows of 20 pixels, the selected row in bold.

#include <QTreeWidget>

class TwoColumnList : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TwoColumnList(QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FitColumns();
};

TwoColumnList* MakeTwoColumnList(QWidget* parent, const QString& accessibleName);
