// The main window: two inputs side by side, each with its device list, its
// held peak/average readout and (later) its live spectrum, and the amplify
// slider between them. Lives on the window (GUI) thread.
#pragma once

#include <QMainWindow>

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;
};
