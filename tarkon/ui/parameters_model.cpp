#include "tarkon/ui/parameters_model.h"

#include <QFont>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const char* const kHeaders[] = {"Name", "Sensor", "File", "Unit", "Range", "Group", "Status"};

}  // namespace

CParametersModel::CParametersModel(fleet::ParameterTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

void CParametersModel::Reset() {
  beginResetModel();
  endResetModel();
}

int CParametersModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(table_.rows().size());
}

int CParametersModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QString CParametersModel::Text(const fleet::TableRow& row, int column) const {
  const fleet::ParameterRow& d = row.described();
  switch (column) {
    case kName: return Q(row.name);
    case kSensor:
      if (!row.hasSensor) return {};
      return row.edit.empty() ? Q(row.sensor.value) : Q(row.edit);
    case kFile: return row.hasFile ? Q(row.file.value) : QString();
    case kUnit: return Q(d.unit);
    case kRange: return Q(d.range);
    case kGroup: return Q(d.group);
    case kStatus: {
      QString status = QLatin1String(fleet::RowMarkText(row.mark));
      if (!row.message.empty()) status += (status.isEmpty() ? QString() : QStringLiteral(": ")) + Q(row.message);
      if (row.differs) status += (status.isEmpty() ? QString() : QStringLiteral("; ")) + QStringLiteral("differs from the file");
      return status;
    }
    default: return {};
  }
}

QVariant CParametersModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const fleet::TableRow& row = table_.rows()[static_cast<size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: return Text(row, column);
    case Qt::EditRole:
      if (column == kSensor) return row.edit.empty() ? Q(row.sensor.number) : Q(row.edit);
      if (column == kFile) return Q(row.file.number);
      return Text(row, column);
    case Qt::AccessibleTextRole: {
      // "Sensor of Threshold: 60, edited": the column, the setting, the value.
      QString value = Text(row, column);
      if (value.isEmpty()) value = QStringLiteral("empty");
      QString spoken = QLatin1String(kHeaders[column]) + QStringLiteral(" of ") + Q(row.name) + QStringLiteral(": ") + value;
      if (column == kSensor && !row.edit.empty()) spoken += QStringLiteral(", edited, not written");
      if (column == kFile && row.differs) spoken += QStringLiteral(", differs from the sensor");
      return spoken;
    }
    case Qt::FontRole: {
      // Unwritten edits and differing values stand out.
      const bool bold = (column == kSensor && !row.edit.empty()) || (column == kFile && row.differs) ||
                        (column == kStatus && row.mark == fleet::RowMark::kRefused);
      if (!bold) return {};
      QFont font;
      font.setBold(true);
      return font;
    }
    case Qt::ToolTipRole:
      if (column == kSensor || column == kFile) return Q(row.described().range);
      if (column == kStatus) return Text(row, column);
      return {};
    default: return {};
  }
}

QVariant CParametersModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return QLatin1String(kHeaders[section]);
  return {};
}

Qt::ItemFlags CParametersModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (!index.isValid() || index.row() >= rowCount()) return f;
  const fleet::TableRow& row = table_.rows()[static_cast<size_t>(index.row())];
  if ((index.column() == kSensor && row.hasSensor && table_.connected()) || (index.column() == kFile && row.hasFile))
    f |= Qt::ItemIsEditable;
  return f;
}

bool CParametersModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  const size_t row = static_cast<size_t>(index.row());
  const std::string text = value.toString().toStdString();
  std::string refusal;
  if (index.column() == kSensor) {
    refusal = table_.EditSensor(row, text);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), kColumnCount - 1));
  } else if (index.column() == kFile) {
    refusal = table_.EditFile(row, text);
    // A mode changes how the file's ranges read: every row may change.
    emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, kColumnCount - 1));
  } else {
    return false;
  }
  const std::string& name = table_.rows()[row].name;
  emit message(refusal.empty() ? QString() : Q(name + ": " + refusal));
  return refusal.empty();
}
