// The main window's client area (see ClientArea.h). Window thread only.
#include "ClientArea.h"

#include "app/DPIFunctions.h"

#include <QPalette>

TClientArea::TClientArea(QSize designSize, QWidget *parent) : QWidget(parent), size_(designSize)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(size_);
}

void TClientArea::scaleBy(int num, int den)
{
    size_ = QSize(hg::MulDiv(size_.width(), num, den), hg::MulDiv(size_.height(), num, den));
    setFixedSize(size_);
}
