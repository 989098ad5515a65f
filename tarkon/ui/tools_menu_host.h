#pragma once
// What the "&Tools" menu needs from the window that carries it. The main
// window creates the menu; through this the menu reaches back without
// depending on the main window's header.

#include <cstdint>

#include "tarkon/document/connect_values.h"

class QDockWidget;
class QMainWindow;

class ToolsMenuHost {
 public:
  virtual ~ToolsMenuHost() = default;
  // The window whose menu bar takes the menu, whose dock area takes the
  // trace pane and over which the tools' dialogs open.
  virtual QMainWindow& mainWindow() = 0;
  // The "Command log:" pane, which the trace pane shares as a tab.
  virtual QDockWidget* logDock() const = 0;
  // Re-reads availability and check marks of every command.
  virtual void UpdateCommandUI() = 0;
  // Connect with values a tool found (the bus scan), asking the sensor in
  // `firstCheckMode` first.
  virtual bool ConnectFound(const ConnectValues& values, int32_t firstCheckMode) = 0;
};
