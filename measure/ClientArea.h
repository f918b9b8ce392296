// The main window's client area: a fixed-size panel in the system's
// button-face colour that holds every control. Window thread only.
#pragma once

#include "app/ScaleWidgets.h"

#include <QWidget>

class TClientArea : public QWidget, public hg::IScalable {
    Q_OBJECT
public:
    // `designSize`: the client size at the design scale (96 PPI).
    TClientArea(QSize designSize, QWidget *parent = nullptr);

    // The window's one-time scaling: the client size grows by num/den
    // (rounded to the nearest pixel), and stays fixed at that size.
    void scaleBy(int num, int den) override;

private:
    QSize size_;
};
