// hg_window_screenshot OUT.png: shows the main window on the current X
// display, lets it measure two known noise floors on the private sound
// server's pipe sources, and saves a picture of the window (menu bar and
// client area). Used by scripts/screenshot under scripts/with-servers.
#include "hg_test_signals.h"

namespace sig = hg::signals;

#include "AmplifySlider.h"
#include "Main.h"
#include "app/Scaling.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>

#include <cstdio>
#include <future>

namespace {

void Pick(QComboBox *box, const QString &name)
{
    const int index = box->findText(name);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

void ProcessFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: hg_window_screenshot OUT.png\n");
        return 2;
    }
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    hg::ScalingPPI = 96;
    TFormMain form;
    form.ShowError = [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    form.show();
    ProcessFor(200);

    if (!sig::pulse_dir().empty()) {
        Pick(form.ComboBoxAudioDevice1, QStringLiteral("Hushgauge Test Input 1"));
        Pick(form.ComboBoxAudioDevice2, QStringLiteral("Hushgauge Test Input 2"));
        // Two noise floors 10 dB apart, the second input the quieter one.
        auto in1 = std::async(std::launch::async, [] { return sig::write_to_fifo(1, sig::noise(0.0009, 96000, 1)); });
        auto in2 = std::async(std::launch::async, [] { return sig::write_to_fifo(2, sig::noise(0.00028, 96000, 2)); });
        while (in1.wait_for(std::chrono::seconds(0)) != std::future_status::ready ||
               in2.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            ProcessFor(20);
        in1.get();
        in2.get();
    }
    form.scGPSliderInputVolumeAmplify->setValue(2500);
    ProcessFor(500);

    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "hg_window_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
