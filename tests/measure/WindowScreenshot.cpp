// hg_window_screenshot WINDOW.png [SPECTRUM.png]: shows the main window on
// the current X display and saves pictures of it (menu bar and client area,
// read back from the X server, so that the spectrum displays' OpenGL
// drawing is in them). WINDOW.png: the window measuring two known noise
// floors on the private sound server's pipe sources. SPECTRUM.png: a 12 kHz
// sine over a faint noise floor on Input 1 and silence on Input 2, with the
// amplify slider at 1000 %. Used by scripts/screenshot under
// scripts/with-servers; runs on the main (window) thread, with one feeder
// thread per input.
#include "hg_test_signals.h"

namespace sig = hg::signals;

#include "AmplifySlider.h"
#include "Main.h"
#include "app/Scaling.h"
#include "spectrum/Spectrum3DBinding.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>

#include <atomic>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

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

// Writes a block into a pipe source over and over until destroyed.
class Feeder {
public:
    Feeder(int input, std::vector<float> block)
        : thread_([this, input, block = std::move(block)] {
              while (!stop_.load())
                  sig::write_to_fifo(input, block, 200);
          })
    {
    }
    ~Feeder()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The window as the X server shows it, the displays' surfaces included.
bool Save(TFormMain &form, const char *path)
{
    ProcessFor(300); // a few frames and timer ticks after the last change
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(form.winId());
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(path))) {
        std::fprintf(stderr, "hg_window_screenshot: cannot write %s\n", path);
        return false;
    }
    return true;
}

// Sums two interleaved signals of the same length.
std::vector<float> Mix(std::vector<float> a, const std::vector<float> &b)
{
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        a[i] += b[i];
    return a;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: hg_window_screenshot WINDOW.png [SPECTRUM.png]\n");
        return 2;
    }
    hg::Spectrum3DUnitStartup();
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    hg::ScalingPPI = 96;
    int result = 0;
    {
        TFormMain form;
        form.ShowError = [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
        form.show();
        ProcessFor(300);

        const bool servers = !sig::pulse_dir().empty();
        if (servers) {
            Pick(form.ComboBoxAudioDevice1, QStringLiteral("Hushgauge Test Input 1"));
            Pick(form.ComboBoxAudioDevice2, QStringLiteral("Hushgauge Test Input 2"));
            // Two noise floors 10 dB apart, the second input the quieter one.
            auto in1 = std::async(std::launch::async, [] { return sig::write_to_fifo(1, sig::noise(0.0009, 96000, 1)); });
            auto in2 =
                std::async(std::launch::async, [] { return sig::write_to_fifo(2, sig::noise(0.00028, 96000, 2)); });
            while (in1.wait_for(std::chrono::seconds(0)) != std::future_status::ready ||
                   in2.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                ProcessFor(20);
            in1.get();
            in2.get();
        }
        form.scGPSliderInputVolumeAmplify->setValue(2500);
        if (!Save(form, argv[1]))
            result = 1;

        if (argc == 3 && result == 0) {
            if (servers) {
                // Fresh captures, so that the held values are those of this
                // picture's signals.
                Pick(form.ComboBoxAudioDevice1, QStringLiteral("Hushgauge Test Input 1"));
                Pick(form.ComboBoxAudioDevice2, QStringLiteral("Hushgauge Test Input 2"));
            }
            form.scGPSliderInputVolumeAmplify->setValue(10000);
            const std::size_t frames = 9600;
            Feeder tone(1, Mix(sig::sine(12000.0, 5e-5, frames), sig::noise(2e-7, frames, 3)));
            Feeder quiet(2, sig::silence(frames));
            ProcessFor(1500);
            if (!Save(form, argv[2]))
                result = 1;
        }
    }
    hg::Spectrum3DUnitShutdown();
    return result;
}
