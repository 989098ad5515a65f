#pragma once
// The rows of the parameter table (fleet::ParameterTable) as a Qt table
// model: one row per setting, the sensor's and the file's values side by
// side. Edits go to the engine, which checks them; every cell speaks its
// column, setting and value to a screen reader.

#include <QAbstractTableModel>

#include "tarkon/fleet/parameter_table.h"

class CParametersModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kName, kSensor, kFile, kUnit, kRange, kGroup, kStatus, kColumnCount };

  explicit CParametersModel(fleet::ParameterTable& table, QObject* parent = nullptr);

  // The engine's rows changed as a whole (a re-read, a write, a file).
  void Reset();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // A refusal or an outcome to show under the table.
  void message(const QString& text);

 private:
  QString Text(const fleet::TableRow& row, int column) const;

  fleet::ParameterTable& table_;
};
