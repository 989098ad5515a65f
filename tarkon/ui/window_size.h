#pragma once
// The main window's first size, from the font in use rather than fixed
// pixels: the setup pane wide enough that every name of every model's
// settings fits the two fifths of its lists that the names get, and the
// values the rest; the sensor view beside it with room for its list and
// its live chart side by side.

#include <QSize>

class QWidget;

// The docked width of the setup pane that holds `list` (one of its lists).
int SetupPaneWidth(const QWidget* list);
// The window's size with a setup pane of `setupWidth`.
QSize DefaultWindowSize(const QWidget* window, int setupWidth);
