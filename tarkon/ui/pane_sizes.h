#pragma once
// Sizes of a docking pane kept in the per-user profile store: one section
// per pane, "<profile>-SCBar-<id>", with the size when docked at the top or
// bottom ("sizeHorzCX/CY"), at the left or right ("sizeVertCX/CY") and
// floating ("sizeFloatCX/CY"). A stored size below the pane's minimum is
// ignored and the built-in size stays.

#include <QSize>
#include <QString>

class QSettings;

constexpr const char* kProfileName = "NRD";

struct PaneSizes {
  QSize horz;
  QSize vert;
  QSize floating;
};

QString PaneSection(int paneId);
PaneSizes LoadPaneSizes(QSettings& store, int paneId, const QSize& minimum, const PaneSizes& builtIn);
void SavePaneSizes(QSettings& store, int paneId, const PaneSizes& sizes);
