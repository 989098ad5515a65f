#pragma once
// Texts of the desktop program's frame that several widgets share.

#include <QString>

// Message boxes carry the program name as their caption.
inline QString ProgramCaption() { return QStringLiteral("Tarkon"); }
// The window caption: the document title, " - ", the frame title (which
// ends with a blank).
inline QString MainWindowCaption() { return QStringLiteral("Tarkon - Single Point Setup "); }
inline QString AboutText() { return QStringLiteral("Tarkon Version 1.1.0"); }
// The status bar's message pane while no prompt is shown.
inline QString IdleStatusText() { return QStringLiteral("Ready"); }
