#pragma once

#include <QWidget>

// Full screen: a plain backdrop in the main menu's colour over the whole
// display, with no frame, that the screens sit on. A touch beside a screen
// lands on it and does nothing, so no desktop is within a child's reach.
class FondKiosque : public QWidget
{
public:
    explicit FondKiosque(const QColor &colour);

    // Covers the whole display, with or without a window manager to obey
    // the full-screen request.
    void couvreEcran();
};
