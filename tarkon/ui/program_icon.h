#pragma once
// The program's icon (window, about box), drawn here so that it needs no
// image format plugin: a sensor head casting its beam onto a target. The
// installed icon (tarkon/app/tarkon.svg) shows the same picture.

#include <QIcon>

QIcon ProgramIcon();
