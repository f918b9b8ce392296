// The main window (see Main.h). Window thread only.
#include "Main.h"

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Hushgauge"));
}

TFormMain::~TFormMain() = default;
