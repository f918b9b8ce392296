// hg_app_probe: the program's start-up with a stand-in main window of the
// real one's shape, for tests that run it as a process (renamed, on small
// screens). Prints what start-up decided, one "key=value" a line. Main
// (window) thread only.
//
// HG_PROBE_CURSOR="x,y" puts the mouse cursor there before the window is
// created.
#include "DPIFunctions.h"
#include "Scaling.h"
#include "SettingsFile.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace {

// The main window's shape: menu bar, fixed 1258 x 408 client area, fixed
// window size. Scales itself at creation when `scale` is set, as the real
// window's creation handler does.
class StandInForm : public QMainWindow {
public:
    explicit StandInForm(bool scale)
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(11);
        font.setBold(true);
        setFont(font);
        QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
        file->addAction(QStringLiteral("Exit"));
        menuBar()->addMenu(QStringLiteral("Help"));
        Client = new QWidget;
        Client->setFixedSize(1258, 408);
        auto *label = new QLabel(QStringLiteral("Amplify level"), Client);
        label->setGeometry(568, 83, 124, 23);
        setCentralWidget(Client);
        layout()->setSizeConstraint(QLayout::SetFixedSize);
        if (scale)
            hg::ScaleFormAtCreation(this);
    }
    QWidget *Client = nullptr;
};

void Print(const char *key, QSize s)
{
    std::printf("%s=%dx%d\n", key, s.width(), s.height());
}

void MoveCursorFromEnvironment()
{
    const char *at = std::getenv("HG_PROBE_CURSOR");
    int x = 0, y = 0;
    if (at != nullptr && std::sscanf(at, "%d,%d", &x, &y) == 2) {
        QCursor::setPos(x, y);
        QElapsedTimer t;
        t.start();
        while (QCursor::pos() != QPoint(x, y) && t.elapsed() < 3000)
            QApplication::processEvents();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    hg::DeclareDpiAwareness();
    hg::KeepMenuBarInWindow();
    QApplication app(argc, argv);
    hg::InitScalingPPI();
    std::printf("settings=%s\n", hg::GetSettingsFilePath().c_str());
    std::printf("start_ppi=%d\n", hg::ScalingPPI);
    MoveCursorFromEnvironment();

    // The design size as the window would be shown unscaled.
    StandInForm reference(false);
    reference.layout()->activate();
    reference.adjustSize();
    Print("design", reference.frameGeometry().size());

    StandInForm form(true);
    std::printf("ppi=%d\n", hg::ScalingPPI);
    Print("client", form.Client->size());
    form.show();
    QElapsedTimer t;
    t.start();
    while (!(form.windowHandle() != nullptr && form.windowHandle()->isExposed()) && t.elapsed() < 5000)
        QApplication::processEvents();
    QApplication::processEvents();
    Print("shown", form.frameGeometry().size());
    Print("shown_client", form.Client->size());
    const QScreen *monitor = QGuiApplication::screenAt(QCursor::pos());
    Print("monitor", monitor != nullptr ? monitor->geometry().size() : QSize());
    std::printf("monitors=%lld\n", static_cast<long long>(QGuiApplication::screens().size()));
    std::fflush(stdout);
    return 0;
}
