#pragma once
// A dark palette for the Fusion style: how the window looks on a dark
// desktop, for the documentation's pictures and the tests that check that
// nothing is drawn in fixed light colours. On a desktop the platform's own
// palette is taken as it is.

#include <QPalette>

QPalette DarkPalette();
// Fusion with the dark palette for the whole program (call after the
// QApplication exists).
void UseDarkPalette();
