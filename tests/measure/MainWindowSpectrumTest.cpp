// The two spectrum displays in the real main window, on the private X
// display with Mesa and the private sound server: their designed properties,
// the grid and flat curve before any device, each capture shown by its own
// input's display only, a failed device choice, the amplify slider reaching
// the drawn curve (a 12 kHz sine under the "12 KHz" line, raised and
// reddened at 1000 %), and a close while both render and both capture.
// Everything runs on the test's main thread (the window thread), except the
// curve probes, which run in each display's frames on its render thread.
#include "WindowTestApp.h"

#include "AmplifySlider.h"
#include "Main.h"
#include "app/Scaling.h"
#include "hg_test_signals.h"
#include "spectrum/Spectrum3D.h"
#include "spectrum/Spectrum3DBinding.h"
#include "spectrum/Spectrum3DCaptions.h"
#include "spectrum/Spectrum3DMatrices.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace sig = hg::signals;

namespace {

// The display unit's bindings for the whole test binary, made after the
// application object and given back before it goes, as the program does.
// They are loaded from the binary's own library folder, where the build
// puts the capture library the window links.
class BindingEnvironment : public ::testing::Environment {
public:
    void SetUp() override { hg::Spectrum3DUnitStartup(); }
    void TearDown() override { hg::Spectrum3DUnitShutdown(); }
};
::testing::Environment *const binding_env = ::testing::AddGlobalTestEnvironment(new BindingEnvironment);

// What the last frame of a display drew as its curve, written by its render
// thread (AfterD3DRender) and read here. Shared so that a frame that runs
// while the test ends still writes into live memory.
struct TCurveState {
    std::atomic<int> frames{0};
    std::atomic<int> peakVertex{-1};
    std::atomic<float> peakHeight{-1.0f};
    std::atomic<float> minHeight{-1.0f};
    // Cleared by a frame that ran while the bindings were not loaded.
    std::atomic<bool> bindingsHeld{true};
};

void AttachProbe(hg::TSpectrum3D *d, const std::shared_ptr<TCurveState> &state)
{
    d->SetAfterD3DRender([d, state](QObject *) {
        if (!hg::Spectrum3DBinding().BASSLoaded)
            state->bindingsHeld.store(false);
        const TColorVertex *s = d->StagingBlock();
        int best = 0;
        float low = s[0].Position.y;
        for (int i = 1; i < static_cast<int>(hg::kSpectrumVertexCount); ++i) {
            if (s[i].Position.y > s[best].Position.y)
                best = i;
            low = std::min(low, s[i].Position.y);
        }
        state->peakVertex.store(best);
        state->peakHeight.store(s[best].Position.y);
        state->minHeight.store(low);
        state->frames.fetch_add(1);
    });
}

// Writes a signal into a pipe source over and over on a thread of its own
// until it is destroyed.
class TFeeder {
public:
    TFeeder(int input, std::vector<float> block)
        : thread_([this, input, block = std::move(block)] {
              while (!stop_.load())
                  sig::write_to_fifo(input, block, 200);
          })
    {
    }
    ~TFeeder()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Where a grid-space point lands on a panel of the given size: row vector
// times world, view and projection, then the viewport (row 0 at the top).
QPointF Project(const hg::TViewMatrices &m, float x, float y, float z, int width, int height)
{
    double v[4] = {x, y, z, 1.0};
    for (const _D3DMATRIX *mat : {&m.World, &m.View, &m.Projection}) {
        double out[4] = {0, 0, 0, 0};
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                out[c] += v[r] * mat->m[r][c];
        std::copy(out, out + 4, v);
    }
    return {(v[0] / v[3] + 1.0) / 2.0 * width, (1.0 - v[1] / v[3]) / 2.0 * height};
}

// The pixels of a display's drawing surface as the X server has them.
QImage Grab(hg::TSpectrum3D *d)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(d->PanelSpectrum->Surface()->winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A pixel of the curve: its colours run from yellow to red, with no blue;
// the grid's lines are grey.
bool CurvePixel(QRgb p)
{
    return qRed(p) > 120 && qBlue(p) < 60 && qRed(p) - qBlue(p) > 90;
}

// The topmost curve pixel of a surface, or (-1, -1).
QPoint TopOfCurve(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (CurvePixel(img.pixel(x, y)))
                return {x, y};
    return {-1, -1};
}

int CountCurvePixels(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += CurvePixel(img.pixel(x, y)) ? 1 : 0;
    return n;
}

// Lit grey pixels: the grid's lines (dark grey on black).
int CountGridPixels(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
            const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
            n += hi >= 20 && hi - lo < 10 ? 1 : 0;
        }
    return n;
}

bool Flat(const TCurveState &c) { return c.peakHeight.load() == 0.0f && c.minHeight.load() == 0.0f; }

class SpectrumHostingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
        sig::drain_fifo(1); // nothing an earlier test left in the pipes comes first
        sig::drain_fifo(2);
        ASSERT_TRUE(hg::Spectrum3DBinding().BASSLoaded) << "the capture library is not in the program's folder";
        form = std::make_unique<TFormMain>();
        form->ShowError = [this](const QString &text) { errors << text; };
        AttachProbe(form->Spectrum3D1, curve1);
        AttachProbe(form->Spectrum3D2, curve2);
        form->show();
        ASSERT_TRUE(WaitForFrames());
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(curve1->bindingsHeld.load());
        EXPECT_TRUE(curve2->bindingsHeld.load());
    }

    // Both displays have drawn a few frames since now.
    bool WaitForFrames(int count = 3)
    {
        const int a = curve1->frames.load(), b = curve2->frames.load();
        return hgtest::ProcessUntil(
            [&] { return curve1->frames.load() >= a + count && curve2->frames.load() >= b + count; }, 10000);
    }

    void Pick(int input, const QString &name)
    {
        QComboBox *box = input == 1 ? form->ComboBoxAudioDevice1 : form->ComboBoxAudioDevice2;
        const int index = box->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }


    std::unique_ptr<TFormMain> form;
    std::shared_ptr<TCurveState> curve1 = std::make_shared<TCurveState>();
    std::shared_ptr<TCurveState> curve2 = std::make_shared<TCurveState>();
    QStringList errors;
};

const QString kIn1 = QStringLiteral("Hushgauge Test Input 1");
const QString kIn2 = QStringLiteral("Hushgauge Test Input 2");

// A sine centred on bin 512 of the 4096-point spectrum (8 frames a period):
// value 512 reads the amplitude, so vertex 511 is the curve's peak.
std::vector<float> Bin512Sine(double amplitude) { return sig::sine(sig::bin_frequency(512, 4096), amplitude, 4800); }

TEST_F(SpectrumHostingTest, BothDisplaysAsDesigned)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    const hg::TColor faceBgr = static_cast<hg::TColor>(face.red()) | static_cast<hg::TColor>(face.green()) << 8 |
                               static_cast<hg::TColor>(face.blue()) << 16;
    for (auto [d, box] : {std::pair{form->Spectrum3D1, form->GroupBox1}, std::pair{form->Spectrum3D2, form->GroupBox2}}) {
        SCOPED_TRACE(d->objectName().toStdString());
        EXPECT_EQ(d->parentWidget(), box);
        EXPECT_EQ(d->geometry(), QRect(16, 96, 514, 297));
        EXPECT_EQ(d->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(d->frameShape(), QFrame::Panel);
        EXPECT_EQ(d->Color(), 0u);
        EXPECT_EQ(d->font().family(), QStringLiteral("Tahoma"));
        EXPECT_EQ(d->font().pixelSize(), 11);
        EXPECT_FALSE(d->font().bold());
        EXPECT_EQ(d->FontSizePoints(), 8);
        EXPECT_EQ(d->palette().color(QPalette::WindowText), QColor(Qt::white));
        EXPECT_TRUE(d->SuppressErrors());
        EXPECT_FALSE(d->Panel3DPictureVisible());
        // Built its device and runs by itself, with the display's own
        // amplitude until the slider first moves.
        EXPECT_NE(d->Renderer, nullptr);
        EXPECT_NE(d->RenderThread, nullptr);
        EXPECT_EQ(d->Channel.load(), 0u);
        EXPECT_EQ(d->GFXAmplitude.load(), 1.0);
        EXPECT_EQ(d->CaptionLevel(0)->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
    // The inner panel's button face shows only until the first device, which
    // paints it black: it is read on a window that was never shown.
    TFormMain hidden;
    for (hg::TSpectrum3D *d : {hidden.Spectrum3D1, hidden.Spectrum3D2}) {
        EXPECT_EQ(d->Panel3DColor(), faceBgr);
        EXPECT_EQ(d->Renderer, nullptr);
    }
}

TEST_F(SpectrumHostingTest, BeforeAnyDeviceBothShowTheGridAndAFlatCurve)
{
    ASSERT_TRUE(WaitForFrames());
    for (auto [d, c] : {std::pair{form->Spectrum3D1, curve1.get()}, std::pair{form->Spectrum3D2, curve2.get()}}) {
        SCOPED_TRACE(d->objectName().toStdString());
        EXPECT_TRUE(Flat(*c)) << "curve between " << c->minHeight << " and " << c->peakHeight;
        const QImage img = Grab(d);
        ASSERT_EQ(img.size(), d->PanelSpectrum->size());
        EXPECT_GT(CountGridPixels(img), 2000);
        // The flat curve lies on the base line: every curve pixel is within
        // a few rows of where height 0 lands.
        const hg::TViewMatrices m = hg::GridMatrices();
        const double base = Project(m, 0.9175f * 1000, 0.0f, -0.01f, img.width(), img.height()).y();
        const QPoint top = TopOfCurve(img);
        ASSERT_GE(top.y(), 0) << "no curve drawn";
        EXPECT_NEAR(top.y(), base, 3.0);
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SpectrumHostingTest, ACaptureOnInput2ShowsOnlyInItsDisplay)
{
    Pick(2, kIn2);
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(form->Spectrum3D2->Channel.load(), form->RecordingChannel2);
    EXPECT_NE(form->RecordingChannel2, 0u);
    EXPECT_EQ(form->Spectrum3D1->Channel.load(), 0u);

    TFeeder feed(2, Bin512Sine(0.5));
    const float expected = static_cast<float>(std::sqrt(std::sqrt(0.5)) * 1.0275);
    EXPECT_TRUE(hgtest::ProcessUntil(
        [&] { return curve2->peakVertex.load() == 511 && std::fabs(curve2->peakHeight.load() - expected) < 0.01f; },
        10000))
        << "peak at vertex " << curve2->peakVertex.load() << ", height " << curve2->peakHeight.load();
    ASSERT_TRUE(WaitForFrames());
    EXPECT_TRUE(Flat(*curve1)) << "Input 1's curve reaches " << curve1->peakHeight.load();
}

TEST_F(SpectrumHostingTest, AFailedChoiceKeepsTheReleasedChannelAndDrawsFlat)
{
    Pick(1, kIn1);
    const HRECORD first = form->RecordingChannel1;
    ASSERT_NE(first, 0u);
    {
        TFeeder feed(1, Bin512Sine(0.5));
        ASSERT_TRUE(hgtest::ProcessUntil([&] { return curve1->peakVertex.load() == 511; }, 10000));
    }
    // Input 2 holds its source; Input 1 then releases its own and cannot
    // open Input 2's.
    Pick(2, kIn2);
    Pick(1, kIn2);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Error while initializing input device: ") + kIn2))
        << errors[0].toStdString();
    EXPECT_EQ(form->RecordingChannel1, first);
    EXPECT_EQ(form->Spectrum3D1->Channel.load(), first);
    EXPECT_FALSE(BASS_ChannelIsActive(first));
    EXPECT_TRUE(hgtest::ProcessUntil([&] { return Flat(*curve1); }, 5000))
        << "Input 1's curve reaches " << curve1->peakHeight.load();
}

TEST_F(SpectrumHostingTest, TheSliderSetsTheFactorOfBothDisplays)
{
    struct Case {
        const char *what;
        std::function<void(TAmplifySlider *)> act;
        double factor;
    };
    const Case cases[] = {
        {"slider at 10000", [](TAmplifySlider *s) { s->setValue(10000); }, 10.0},
        {"slider at 1000", [](TAmplifySlider *s) { s->setValue(1000); }, 1.0},
        {"one notch towards the user from 1000",
         [](TAmplifySlider *s) {
             const QPointF at = s->rect().center();
             QWheelEvent e(at, s->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
             QApplication::sendEvent(s, &e);
         },
         1.001},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.act(form->scGPSliderInputVolumeAmplify);
        EXPECT_EQ(form->Spectrum3D1->GFXAmplitude.load(), c.factor);
        EXPECT_EQ(form->Spectrum3D2->GFXAmplitude.load(), c.factor);
    }
    // The factor magnifies the drawing only: the readout's held values do
    // not follow it.
    EXPECT_EQ(form->AverageLevel1, 0.0);
}

// The whole path from a captured block to pixels: a 12 kHz sine on Input 1
// (bin 1024 of a 48 kHz channel) peaks under the frequency line captioned
// "12 KHz"; Input 2 captures silence and stays flat; at 1000 % the curve
// stands higher and red. The sine is weak enough that its tip, ten times
// higher, still stays below the top level line (height 0.9 there, 0.09 at
// 100 %), so the colour of the tip itself is read.
TEST_F(SpectrumHostingTest, A12kHzSineOnInput1PeaksUnderThe12KHzLine)
{
    hg::TSpectrum3D *d1 = form->Spectrum3D1;
    Pick(1, kIn1);
    Pick(2, kIn2);
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    TFeeder tone(1, sig::sine(12000.0, 6e-5, 4800));
    TFeeder quiet(2, sig::silence(4800));

    ASSERT_TRUE(hgtest::ProcessUntil([&] { return curve1->peakVertex.load() == 1023 && d1->CaptionFreq(2)->text() == QStringLiteral("12 KHz"); }, 10000))
        << "peak at vertex " << curve1->peakVertex.load() << ", caption "
        << d1->CaptionFreq(2)->text().toStdString();
    ASSERT_TRUE(WaitForFrames());
    EXPECT_TRUE(Flat(*curve2)) << "Input 2's curve reaches " << curve2->peakHeight.load();

    // The caption's centre, in the drawing surface's columns, is where the
    // 12 kHz line runs.
    QLabel *caption = d1->CaptionFreq(2);
    const double lineX = caption->geometry().center().x() + 0.5 - d1->PanelSpectrum->x();
    const int w = d1->PanelSpectrum->width(), h = d1->PanelSpectrum->height();
    const hg::TViewMatrices m = hg::SpectrumMatrices(1.0, 0.0);
    const float height1 = curve1->peakHeight.load();
    const QPointF peak = Project(m, 0.9175f * 1023, height1, -0.01f, w, h);
    EXPECT_NEAR(peak.x(), lineX, 4.0);

    const QImage at1 = Grab(d1);
    const QPoint top1 = TopOfCurve(at1);
    ASSERT_GE(top1.y(), 0);
    EXPECT_NEAR(top1.x(), lineX, 4.0);
    EXPECT_NEAR(top1.y(), peak.y(), 4.0);
    const QRgb c1 = at1.pixel(top1);
    // Input 2's surface shows no curve above its base line.
    const QImage flat2 = Grab(form->Spectrum3D2);
    const double base = Project(m, 0.0f, 0.0f, -0.01f, w, h).y();
    EXPECT_NEAR(TopOfCurve(flat2).y(), base, 3.0);

    form->scGPSliderInputVolumeAmplify->setValue(10000);
    ASSERT_TRUE(hgtest::ProcessUntil([&] { return curve1->peakHeight.load() > 5.0f * height1; }, 5000))
        << curve1->peakHeight.load() << " after " << height1;
    ASSERT_TRUE(WaitForFrames());
    const QImage at10 = Grab(d1);
    const QPoint top10 = TopOfCurve(at10);
    ASSERT_GE(top10.y(), 0);
    const QRgb c10 = at10.pixel(top10);
    EXPECT_LT(top10.y(), top1.y() - 50) << "raised from row " << top1.y();
    EXPECT_NEAR(top10.x(), lineX, 4.0);
    // Yellow-orange below height 1, red above it: green falls away.
    const double green1 = double(qGreen(c1)) / qRed(c1), green10 = double(qGreen(c10)) / qRed(c10);
    EXPECT_GT(green1, 0.8) << "at 100 %: " << qRed(c1) << "," << qGreen(c1) << "," << qBlue(c1);
    EXPECT_LT(green10, 0.25) << "at 1000 %: " << qRed(c10) << "," << qGreen(c10) << "," << qBlue(c10);
    EXPECT_GT(CountCurvePixels(at10), CountCurvePixels(at1));
    // Input 2 stays flat at any magnification.
    EXPECT_TRUE(Flat(*curve2));
}

// At 150 % the displays grow with every control and build their device for
// the size they end up with: the inner panel and captions are laid out for
// 771 x 446 and the scaled font, 11 x 1.5 rounded to 17 pixels (13 points).
TEST(SpectrumHostingScaled, AtOneHundredFiftyPerCentTheDisplaysDrawAtTheirScaledSize)
{
    const std::int32_t saved = hg::ScalingPPI;
    hg::ScalingPPI = 144;
    auto form = std::make_unique<TFormMain>();
    hg::ScalingPPI = saved;
    auto curve = std::make_shared<TCurveState>();
    AttachProbe(form->Spectrum3D2, curve);
    form->show();
    ASSERT_TRUE(hgtest::ProcessUntil([&] { return curve->frames.load() >= 3; }, 10000));
    const hg::TCaptionLayout l = hg::LayoutCaptions(771, 446, 13);
    for (hg::TSpectrum3D *d : {form->Spectrum3D1, form->Spectrum3D2}) {
        SCOPED_TRACE(d->objectName().toStdString());
        EXPECT_EQ(d->geometry(), QRect(24, 144, 771, 446));
        EXPECT_EQ(d->font().pixelSize(), 17);
        EXPECT_EQ(d->FontSizePoints(), 13);
        EXPECT_EQ(d->PanelSpectrum->geometry(), QRect(l.panelLeft, l.panelTop, l.panelWidth, l.panelHeight));
        EXPECT_EQ(Grab(d).size(), QSize(l.panelWidth, l.panelHeight));
        EXPECT_NE(d->RenderThread, nullptr);
    }
    EXPECT_TRUE(Flat(*curve));
    form.reset();
    EXPECT_TRUE(curve->bindingsHeld.load());
}

// Closing the window while both displays render and both inputs capture:
// the audio library goes first, the displays stop and go with the window,
// and no frame runs once the bindings could be given back.
TEST_F(SpectrumHostingTest, ClosingWhileBothRenderAndCaptureEndsCleanly)
{
    Pick(1, kIn1);
    Pick(2, kIn2);
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const HRECORD ch1 = form->RecordingChannel1, ch2 = form->RecordingChannel2;
    {
        TFeeder a(1, Bin512Sine(0.25));
        TFeeder b(2, Bin512Sine(0.25));
        ASSERT_TRUE(hgtest::ProcessUntil(
            [&] { return curve1->peakVertex.load() == 511 && curve2->peakVertex.load() == 511; }, 10000));
        form->scGPSliderInputVolumeAmplify->setValue(4000);
        ASSERT_TRUE(WaitForFrames());
        QPointer<hg::TSpectrum3D> d1 = form->Spectrum3D1, d2 = form->Spectrum3D2;
        ASSERT_TRUE(d1->IsRendering() || d1->RenderThread != nullptr);
        form->close();
        form.reset();
        EXPECT_TRUE(d1.isNull());
        EXPECT_TRUE(d2.isNull());
    }
    // The library was freed before the displays stopped: the channels are gone.
    EXPECT_FALSE(BASS_ChannelIsActive(ch1));
    EXPECT_FALSE(BASS_ChannelIsActive(ch2));
    // With no display left, nothing draws any more.
    const int f1 = curve1->frames.load(), f2 = curve2->frames.load();
    hgtest::ProcessFor(100);
    EXPECT_EQ(curve1->frames.load(), f1);
    EXPECT_EQ(curve2->frames.load(), f2);
    // The bindings can go now, and a new window binds them again.
    hg::Spectrum3DUnitShutdown();
    EXPECT_FALSE(hg::Spectrum3DBinding().BASSLoaded);
    hg::Spectrum3DUnitStartup();
    EXPECT_TRUE(hg::Spectrum3DBinding().BASSLoaded);
    EXPECT_TRUE(curve1->bindingsHeld.load());
    EXPECT_TRUE(curve2->bindingsHeld.load());
}

} // namespace
