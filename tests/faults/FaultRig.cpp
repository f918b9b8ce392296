// The fault and soak tests' rig (see FaultRig.h). Window thread, except
// TFeeder::Run (its own thread) and the curve probe (render threads).
#include "FaultRig.h"

#include "AutoSizeLabel.h"
#include "Spectrum3DBinding.h"
#include "hg_test_signals.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sig = hg::signals;

namespace hgfault {

namespace {

int CountEntries(const char *folder)
{
    DIR *d = ::opendir(folder);
    if (d == nullptr)
        return -1;
    int n = 0;
    while (const dirent *e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(d);
    return n;
}

constexpr std::size_t kChunkFrames = 960; // 20 ms at 48 kHz

// What each entry of a /proc/self folder is: the threads' names, or the
// descriptors' targets; for the message of a count that did not come back.
std::string Describe(const char *folder, bool threads)
{
    std::string out;
    DIR *d = ::opendir(folder);
    if (d == nullptr)
        return out;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = std::string(folder) + "/" + e->d_name;
        std::string what;
        if (threads) {
            std::ifstream comm(path + "/comm");
            std::getline(comm, what);
        } else {
            char target[256];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
            what = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("?");
        }
        out += (out.empty() ? "" : ", ") + what;
    }
    ::closedir(d);
    return out;
}

} // namespace

int CountThreads() { return CountEntries("/proc/self/task"); }

// The directory stream's own descriptor is among the entries while it is
// read; it is not counted.
int CountFds() { return CountEntries("/proc/self/fd") - 1; }

long ResidentKiB()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

TResources SampleResources() { return {CountThreads(), CountFds(), ResidentKiB()}; }

std::string WaitForResources(const TResources &baseline, int timeoutMs)
{
    TResources now;
    ProcessUntil(
        [&] {
            now = SampleResources();
            return now.threads == baseline.threads && now.fds == baseline.fds;
        },
        timeoutMs);
    if (now.threads == baseline.threads && now.fds == baseline.fds)
        return {};
    std::ostringstream s;
    s << "threads " << baseline.threads << " -> " << now.threads << ", descriptors " << baseline.fds << " -> "
      << now.fds << "\n  threads now: " << Describe("/proc/self/task", true)
      << "\n  descriptors now: " << Describe("/proc/self/fd", false);
    return s.str();
}

bool ProcessUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return done();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void ProcessFor(int ms)
{
    ProcessUntil([] { return false; }, ms);
}

std::int64_t SteadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- TFeeder ----

TFeeder::TFeeder(std::string fifoPath, const TInputSignal &signal)
    : FPath(std::move(fifoPath)),
      FSine(sig::sine(sig::bin_frequency(signal.bin, 4096), signal.amplitude, kChunkFrames)),
      FSilence(sig::silence(kChunkFrames))
{
    FThread = std::thread([this] { Run(); });
}

TFeeder::~TFeeder()
{
    FStop.store(true, std::memory_order_relaxed);
    FThread.join();
    // What is still in the fifo would be the next capture's first signal,
    // in a later test of this program or another.
    sig::drain_fifo_at(FPath);
}

void TFeeder::Run()
{
    using clock = std::chrono::steady_clock;
    const std::size_t chunkBytes = FSine.size() * sizeof(float);
    int fd = -1;
    // Bytes of the current chunk already in the fifo: a chunk is always
    // finished before the next one starts, so the sine stays in phase.
    std::size_t done = 0;
    const std::vector<float> *chunk = &FSine;
    bool chunkIsStep = false;
    auto next = clock::now();
    while (!FStop.load(std::memory_order_relaxed)) {
        if (fd < 0) {
            // Opening for writing without blocking fails until the source
            // (the reader) exists.
            fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            done = 0;
            next = clock::now();
        }
        if (done == 0) {
            // The source reads the fifo in real time; while more than a
            // chunk still waits in it (it filled while nobody recorded), this
            // tick's chunk is left out, so that what is written now is heard
            // within about 20 ms.
            int queued = 0;
            if (::ioctl(fd, FIONREAD, &queued) == 0 && static_cast<std::size_t>(queued) > chunkBytes) {
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
                continue;
            }
            const bool silent = FSilent.load(std::memory_order_relaxed);
            chunk = silent ? &FSilence : &FSine;
            chunkIsStep = !silent && FStepArmed.load(std::memory_order_relaxed);
        }
        const char *p = reinterpret_cast<const char *>(chunk->data()) + done;
        const ssize_t n = ::write(fd, p, chunkBytes - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (done < chunkBytes)
                continue;
            done = 0;
            if (chunkIsStep) {
                FStepNs.store(SteadyNowNs(), std::memory_order_relaxed);
                FStepArmed.store(false, std::memory_order_relaxed);
            }
            // Real time: one chunk per 20 ms; a writer that fell behind (a
            // full fifo, a stopped server) starts counting anew.
            next += std::chrono::milliseconds(20);
            const auto now = clock::now();
            if (next < now - std::chrono::milliseconds(100))
                next = now;
            std::this_thread::sleep_until(next);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            // EPIPE: the source went away with its reading end.
            ::close(fd);
            fd = -1;
        }
    }
    if (fd >= 0)
        ::close(fd);
}

// ---- curve probe ----

void AttachCurveProbe(hg::TSpectrum3D &display, const std::shared_ptr<TCurveState> &state)
{
    hg::TSpectrum3D *d = &display;
    std::shared_ptr<TCurveState> s = state;
    display.SetBeforeD3DRender(
        [s](QObject *) { s->frameStartNs.store(SteadyNowNs(), std::memory_order_relaxed); });
    display.SetAfterD3DRender([d, s](QObject *) {
        const TColorVertex *v = d->StagingBlock();
        int best = 0;
        for (int i = 1; i < static_cast<int>(hg::kSpectrumVertexCount); ++i)
            if (v[i].Position.y > v[best].Position.y)
                best = i;
        s->peakVertex.store(best, std::memory_order_relaxed);
        s->peakHeight.store(v[best].Position.y, std::memory_order_relaxed);
        const std::int64_t now = SteadyNowNs();
        std::int64_t zero = 0;
        s->firstFrameNs.compare_exchange_strong(zero, now, std::memory_order_relaxed);
        s->drawNs.fetch_add(now - s->frameStartNs.load(std::memory_order_relaxed), std::memory_order_relaxed);
        // A step is a sine that starts abruptly: in the first frames after it
        // only the newest samples of the spectrum's window carry it, and its
        // peak is broad. It is in sight once the curve's highest point is
        // within 16 vertices (4 pixels of a 514-pixel display) of its bin.
        const int step = s->stepVertex.load(std::memory_order_relaxed);
        if (step >= 0 && std::abs(best - step) <= 16 && v[best].Position.y >= 0.1f) {
            zero = 0;
            s->stepSeenNs.compare_exchange_strong(zero, now, std::memory_order_relaxed);
            if (best == step && v[best].Position.y >= s->stepFullHeight.load(std::memory_order_relaxed)) {
                zero = 0;
                s->stepFullNs.compare_exchange_strong(zero, now, std::memory_order_relaxed);
            }
        }
        s->frames.fetch_add(1, std::memory_order_relaxed);
    });
}

int ExpectedVertex(const TInputSignal &signal) { return static_cast<int>(signal.bin) - 1; }

float ExpectedHeight(const TInputSignal &signal)
{
    // A display draws the fourth root of a bin's magnitude, 1.0275 high at
    // full scale.
    return static_cast<float>(std::sqrt(std::sqrt(signal.amplitude)) * 1.0275);
}

// ---- TRig ----

TRig::TRig()
{
    hg::TSpectrum3D::SetBoxHook(
        [this](hg::TSpectrum3D *, QMessageBox::Icon, const QString &text) { displayBoxes.push_back(text); });
    OpenWindow();
}

void TRig::OpenWindow()
{
    form = std::make_unique<TFormMain>();
    form->ShowError = [this](const QString &text) { errors << text; };
    display1 = form->Spectrum3D1;
    display2 = form->Spectrum3D2;
    for (TCurveState *c : {curve1.get(), curve2.get()}) {
        c->frames.store(0);
        c->peakVertex.store(-1);
        c->peakHeight.store(-1.0f);
    }
    AttachCurveProbe(*display1, curve1);
    AttachCurveProbe(*display2, curve2);
    form->show();
    ProcessUntil([&] { return curve1->frames.load() > 0 && curve2->frames.load() > 0; }, 5000);
}

TRig::~TRig()
{
    form.reset();
    hg::TSpectrum3D::SetBoxHook({});
}

int TRig::Index(const QString &entry) const { return form->ComboBoxAudioDevice1->findText(entry); }

void TRig::Choose(int input, int index)
{
    QComboBox *box = input == 1 ? form->ComboBoxAudioDevice1 : form->ComboBoxAudioDevice2;
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

void TRig::Choose(int input, const QString &entry) { Choose(input, Index(entry)); }

std::string TRig::WaitReadoutsRight(int timeoutMs)
{
    auto curveRight = [](const TCurveState &c, const TInputSignal &s) {
        return c.peakVertex.load() == ExpectedVertex(s) && std::fabs(c.peakHeight.load() - ExpectedHeight(s)) < 0.02f;
    };
    auto right = [&] {
        return form->LabelPeak1->text().startsWith(QLatin1String(kSignal1.peakText)) &&
               form->LabelPeak2->text().startsWith(QLatin1String(kSignal2.peakText)) &&
               curveRight(*curve1, kSignal1) && curveRight(*curve2, kSignal2);
    };
    if (ProcessUntil(right, timeoutMs))
        return {};
    std::ostringstream s;
    s << "window: \"" << form->LabelPeak1->text().toStdString() << "\" and \""
      << form->LabelPeak2->text().toStdString() << "\"; display 1 peak at vertex " << curve1->peakVertex.load()
      << " height " << curve1->peakHeight.load() << " (want " << ExpectedVertex(kSignal1) << ", "
      << ExpectedHeight(kSignal1) << "); display 2 peak at vertex " << curve2->peakVertex.load() << " height "
      << curve2->peakHeight.load() << " (want " << ExpectedVertex(kSignal2) << ", " << ExpectedHeight(kSignal2)
      << ")";
    return s.str();
}

std::string TRig::WaitDisplaysAdvance(int timeoutMs)
{
    const std::uint64_t f1 = curve1->frames.load(), f2 = curve2->frames.load();
    if (ProcessUntil([&] { return curve1->frames.load() > f1 + 5 && curve2->frames.load() > f2 + 5; }, timeoutMs))
        return {};
    std::ostringstream s;
    s << "display 1 drew " << curve1->frames.load() - f1 << " frames, display 2 " << curve2->frames.load() - f2;
    return s.str();
}

bool TRig::WindowTicks()
{
    form->LabelPeak1->setText(QStringLiteral("ticking?"));
    return ProcessUntil([&] { return form->LabelPeak1->text() != QStringLiteral("ticking?"); }, 2000);
}

void TRig::CloseWindow()
{
    form->close();
    form.reset();
    display1 = display2 = nullptr;
}

void WarmUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    hg::Spectrum3DUnitStartup(HG_CAPTURE_LIBRARY_DIR);
    TFeeder f1(sig::fifo_path(1), kSignal1);
    TFeeder f2(sig::fifo_path(2), kSignal2);
    TRig rig;
    rig.Choose(1, kIn1);
    rig.Choose(2, kIn2);
    EXPECT_EQ(rig.WaitReadoutsRight(), "") << "warm-up";
}

} // namespace hgfault
