#include "tarkon/ui/pane_sizes.h"

#include <QSettings>

QString PaneSection(int paneId) { return QStringLiteral("%1-SCBar-%2").arg(QLatin1String(kProfileName)).arg(paneId); }

namespace {

QSize Load(QSettings& store, const QString& prefix, const QSize& minimum, const QSize& builtIn) {
  bool okX = false;
  bool okY = false;
  const int cx = store.value(prefix + QStringLiteral("CX")).toInt(&okX);
  const int cy = store.value(prefix + QStringLiteral("CY")).toInt(&okY);
  QSize size = builtIn;
  if (okX && cx >= minimum.width()) size.setWidth(cx);
  if (okY && cy >= minimum.height()) size.setHeight(cy);
  return size;
}

void Save(QSettings& store, const QString& prefix, const QSize& size) {
  store.setValue(prefix + QStringLiteral("CX"), size.width());
  store.setValue(prefix + QStringLiteral("CY"), size.height());
}

}  // namespace

PaneSizes LoadPaneSizes(QSettings& store, int paneId, const QSize& minimum, const PaneSizes& builtIn) {
  store.beginGroup(PaneSection(paneId));
  PaneSizes sizes;
  sizes.horz = Load(store, QStringLiteral("sizeHorz"), minimum, builtIn.horz);
  sizes.vert = Load(store, QStringLiteral("sizeVert"), minimum, builtIn.vert);
  sizes.floating = Load(store, QStringLiteral("sizeFloat"), minimum, builtIn.floating);
  store.endGroup();
  return sizes;
}

void SavePaneSizes(QSettings& store, int paneId, const PaneSizes& sizes) {
  store.beginGroup(PaneSection(paneId));
  Save(store, QStringLiteral("sizeHorz"), sizes.horz);
  Save(store, QStringLiteral("sizeVert"), sizes.vert);
  Save(store, QStringLiteral("sizeFloat"), sizes.floating);
  store.endGroup();
}
