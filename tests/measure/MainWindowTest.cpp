// Tests of the main window on a real X display with the private sound
// server: its controls as designed (at 96 and 144 PPI), menu, timer,
// placement, the device lists, and the amplify slider driven with real mouse
// and wheel events and read back from real pixels.
#include "WindowTestApp.h"

#include "AmplifySlider.h"
#include "AutoSizeLabel.h"
#include "Main.h"
#include "app/DPIFunctions.h"
#include "spectrum/Spectrum3D.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

// One control of the window's design at 96 PPI.
struct Control {
    const char *name;
    const char *parent;
    QRect geometry;
    const char *text; // nullptr: no text to compare
    int fontPx;
    bool bold;
};

const Control kControls[] = {
    {"GroupBox1", "ClientArea", {0, 0, 546, 409}, " Input 1: ", 11, true},
    {"Label1", "GroupBox1", {16, 25, 92, 13}, "Audio input device:", 11, false},
    {"ComboBoxAudioDevice1", "GroupBox1", {114, 21, 416, 21}, nullptr, 11, false},
    {"ButtonReset1", "GroupBox1", {16, 65, 49, 25}, "Reset", 11, false},
    {"Spectrum3D1", "GroupBox1", {16, 96, 514, 297}, nullptr, 11, false},
    {"GroupBox2", "ClientArea", {712, 0, 546, 409}, " Input 2: ", 11, true},
    {"Label4", "GroupBox2", {16, 25, 92, 13}, "Audio input device:", 11, false},
    {"ComboBoxAudioDevice2", "GroupBox2", {114, 21, 416, 21}, nullptr, 11, false},
    {"ButtonReset2", "GroupBox2", {481, 65, 49, 25}, "Reset", 11, false},
    {"Spectrum3D2", "GroupBox2", {16, 96, 514, 297}, nullptr, 11, false},
    {"Label2", "ClientArea", {561, 9, 145, 39},
     "  Provide input silence for both audio devices to measure the silence noises.", 11, false},
    {"LabelLeftBetter", "ClientArea", {568, 52, 16, 33}, "\u25C0", 27, true},
    {"Label7", "ClientArea", {611, 62, 36, 13}, "Better", 11, true},
    {"LabelRightBetter", "ClientArea", {676, 52, 16, 33}, "\u25B6", 27, true},
    {"Label3", "ClientArea", {568, 83, 124, 23}, "Amplify level", 19, true},
    {"scGPSliderInputVolumeAmplify", "ClientArea", {550, 109, 158, 298}, nullptr, 11, true},
};

QString TextOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return {};
}

// Both displays magnify by the slider's factor.
void ExpectAmplitude(TFormMain &form, double factor)
{
    EXPECT_DOUBLE_EQ(form.Spectrum3D1->GFXAmplitude.load(), factor);
    EXPECT_DOUBLE_EQ(form.Spectrum3D2->GFXAmplitude.load(), factor);
}

// The window made at a given layout PPI; the PPI is put back afterwards.
std::unique_ptr<TFormMain> MakeForm(int ppi)
{
    const std::int32_t saved = hg::ScalingPPI;
    hg::ScalingPPI = ppi;
    auto form = std::make_unique<TFormMain>();
    hg::ScalingPPI = saved;
    return form;
}

void ExpectDesignedControls(TFormMain &form, int num, int den)
{
    const auto s = [&](int v) { return hg::MulDiv(v, num, den); };
    EXPECT_EQ(form.centralWidget()->size(), QSize(s(1258), s(408)));
    EXPECT_EQ(form.font().pixelSize(), s(11));
    for (const Control &c : kControls) {
        SCOPED_TRACE(c.name);
        auto *w = form.findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        const QRect g = c.geometry;
        EXPECT_EQ(w->geometry(), QRect(s(g.x()), s(g.y()), s(g.width()), s(g.height())));
        if (c.text) {
            EXPECT_EQ(TextOf(w), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(w->font().family(), QStringLiteral("Tahoma"));
        EXPECT_EQ(w->font().pixelSize(), s(c.fontPx));
        EXPECT_EQ(w->font().bold(), c.bold);
    }
    // The readouts are sized to their text: Input 1's keeps its right edge,
    // Input 2's its left edge, both at the readout's top.
    for (TAutoSizeLabel *l : {form.LabelPeak1, form.LabelPeak2}) {
        SCOPED_TRACE(l->objectName().toStdString());
        EXPECT_EQ(l->text(), QStringLiteral("0% / 0%"));
        EXPECT_EQ(l->font().pixelSize(), s(19));
        EXPECT_TRUE(l->font().bold());
        EXPECT_EQ(l->y(), s(65));
        EXPECT_EQ(l->size(), l->sizeHint());
    }
    EXPECT_EQ(form.LabelPeak1->x() + form.LabelPeak1->width(), s(530));
    EXPECT_EQ(form.LabelPeak2->x(), s(16));
    EXPECT_EQ(form.scGPSliderInputVolumeAmplify->tickWidth(), s(2));
    EXPECT_EQ(form.scGPSliderInputVolumeAmplify->thumbDiameter(), s(18));
}

TEST(MainWindow, ControlsAsDesignedAt96PPI)
{
    auto form = MakeForm(96);
    ExpectDesignedControls(*form, 1, 1);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Hushgauge"));
}

TEST(MainWindow, EverythingGrowsByHalfAt144PPI)
{
    auto form = MakeForm(144);
    ASSERT_EQ(form->centralWidget()->size(), QSize(1887, 612));
    ExpectDesignedControls(*form, 3, 2);
    // The readouts keep their anchored edges when their text changes.
    form->LabelPeak1->setText(QStringLiteral("Peak: 12.3500% / -18.2 dB | Avg: -inf dB"));
    form->LabelPeak2->setText(QStringLiteral("Peak: 12.3500% / -18.2 dB | Avg: -inf dB"));
    EXPECT_EQ(form->LabelPeak1->x() + form->LabelPeak1->width(), 795);
    EXPECT_GT(form->LabelPeak1->width(), 300);
    EXPECT_EQ(form->LabelPeak2->x(), 24);
}

TEST(MainWindow, FixedSizeWithoutMaximiseCentredOnThePrimaryScreen)
{
    auto form = MakeForm(96);
    form->show();
    ASSERT_TRUE(hgtest::ProcessUntil([&] { return form->isVisible(); }, 2000));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    // A resize is refused: the client area stays at its design size.
    form->resize(1600, 900);
    hgtest::ProcessFor(50);
    EXPECT_EQ(form->centralWidget()->size(), QSize(1258, 408));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = form->frameGeometry();
    EXPECT_NEAR(frame.center().x(), screen.center().x(), 1);
    EXPECT_NEAR(frame.center().y(), screen.center().y(), 1);
    // The background is the button face.
    EXPECT_EQ(form->centralWidget()->palette().color(QPalette::Window),
              form->centralWidget()->palette().color(QPalette::Button));
    EXPECT_TRUE(form->centralWidget()->autoFillBackground());
}

// Receives what the window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

TEST(MainWindow, MenuExitAndHomePage)
{
    auto form = MakeForm(96);
    const QList<QAction *> top = form->menuBar()->actions();
    ASSERT_EQ(top.size(), 2);
    EXPECT_EQ(top[0]->text(), QStringLiteral("File"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("Help"));
    ASSERT_EQ(form->File1->actions().size(), 1);
    EXPECT_EQ(form->File1->actions()[0]->text(), QStringLiteral("Exit"));
    ASSERT_EQ(form->Help1->actions().size(), 1);
    EXPECT_EQ(form->Help1->actions()[0]->text(), QStringLiteral("Home page..."));

    UrlCatcher catcher;
    const QUrl home(QStringLiteral(HG_HOMEPAGE_URL));
    QDesktopServices::setUrlHandler(home.scheme(), &catcher, "open");
    form->Homepage1->trigger();
    QDesktopServices::unsetUrlHandler(home.scheme());
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], home);

    form->show();
    ASSERT_TRUE(hgtest::ProcessUntil([&] { return form->isVisible(); }, 2000));
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST(MainWindow, TimerTicksEvery20msFromCreation)
{
    auto form = MakeForm(96);
    EXPECT_TRUE(form->TimerRenderer->isActive());
    EXPECT_EQ(form->TimerRenderer->interval(), 20);
    // The first tick writes the readout of "no capture".
    ASSERT_TRUE(hgtest::ProcessUntil(
        [&] { return form->LabelPeak1->text() != QStringLiteral("0% / 0%"); }, 2000));
    const QString none = QStringLiteral("Peak: 0.0000% / -inf dB | Avg: -inf dB");
    EXPECT_EQ(form->LabelPeak1->text(), none);
    EXPECT_EQ(form->LabelPeak2->text(), none);
    EXPECT_FALSE(form->LabelLeftBetter->isHidden());
    EXPECT_FALSE(form->LabelRightBetter->isHidden());
    EXPECT_EQ(form->LabelPeak1->x() + form->LabelPeak1->width(), 530);
    EXPECT_EQ(form->LabelPeak2->x(), 16);
    // Minimised, the readouts go on.
    form->show();
    form->showMinimized();
    form->LabelPeak1->setText(QStringLiteral("minimised"));
    EXPECT_TRUE(hgtest::ProcessUntil([&] { return form->LabelPeak1->text() == none; }, 2000));
    form->showNormal();
    form->LabelPeak1->setText(QStringLiteral("restored"));
    EXPECT_TRUE(hgtest::ProcessUntil([&] { return form->LabelPeak1->text() == none; }, 2000));
}

TEST(MainWindow, BothListsShowTheServersSourcesWithNoneSelected)
{
    auto form = MakeForm(96);
    const QStringList expected = {
        QStringLiteral("Hushgauge Test Input 1"),
        QStringLiteral("Hushgauge Test Input 2"),
        QStringLiteral("Monitor of Hushgauge Test Output 1"),
        QStringLiteral("Monitor of Hushgauge Test Output 2"),
    };
    for (QComboBox *box : {form->ComboBoxAudioDevice1, form->ComboBoxAudioDevice2}) {
        SCOPED_TRACE(box->objectName().toStdString());
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        EXPECT_EQ(items, expected);
        EXPECT_EQ(box->currentIndex(), -1);
        EXPECT_FALSE(box->isEditable());
    }
    EXPECT_EQ(form->RecordingChannel1, 0u);
    EXPECT_EQ(form->RecordingChannel2, 0u);
    EXPECT_EQ(form->LastRecordDevice1, -111);
    EXPECT_EQ(form->LastRecordDevice2, -111);
}

// --- The amplify slider -----------------------------------------------------

class AmplifySliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = MakeForm(96);
        slider = form->scGPSliderInputVolumeAmplify;
        QObject::connect(slider, &TAmplifySlider::changed, [this](int v) { changes.push_back(v); });
        form->show();
        ASSERT_TRUE(hgtest::ProcessUntil([&] { return form->isVisible(); }, 2000));
    }

    void Wheel(int deltaY)
    {
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent e(at, slider->mapToGlobal(at), QPoint(), QPoint(0, deltaY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &e);
    }
    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, at, slider->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(slider, &e);
    }
    // The slider alone, drawn onto transparency (no parent background), so
    // that the alpha of what it draws is read back as it is.
    QImage Grab()
    {
        QImage img(slider->size(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        slider->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        return img.convertToFormat(QImage::Format_ARGB32);
    }

    std::unique_ptr<TFormMain> form;
    TAmplifySlider *slider = nullptr;
    std::vector<int> changes;
};

TEST_F(AmplifySliderTest, StartsAtTheMinimumWithoutTakingFocus)
{
    EXPECT_EQ(slider->minimum(), 1000);
    EXPECT_EQ(slider->maximum(), 10000);
    EXPECT_EQ(slider->value(), 1000);
    ExpectAmplitude(*form, 1.0);
    EXPECT_EQ(slider->focusPolicy(), Qt::NoFocus);
    Mouse(QEvent::MouseButtonPress, slider->thumbCenter());
    Mouse(QEvent::MouseButtonRelease, slider->thumbCenter());
    EXPECT_FALSE(slider->hasFocus());
    EXPECT_TRUE(changes.empty());
}

TEST_F(AmplifySliderTest, EachWheelNotchIsOneStep)
{
    Wheel(-120); // a notch towards the user
    EXPECT_EQ(slider->value(), 1001);
    ExpectAmplitude(*form, 1.001);
    Wheel(120); // a notch away from the user
    Wheel(120); // at the minimum: stays, no change
    EXPECT_EQ(slider->value(), 1000);
    EXPECT_EQ(changes, (std::vector<int>{1001, 1000}));
    // Parts of a notch from a high-resolution wheel add up to one step.
    for (int i = 0; i < 4; ++i)
        Wheel(-30);
    EXPECT_EQ(slider->value(), 1001);
    slider->setValue(10000);
    Wheel(-120);
    EXPECT_EQ(slider->value(), 10000);
    ExpectAmplitude(*form, 10.0);
}

TEST_F(AmplifySliderTest, DraggingTheThumbFollowsThePointerWithinTheRange)
{
    const QPoint start = slider->thumbCenter();
    Mouse(QEvent::MouseButtonPress, start);
    EXPECT_TRUE(changes.empty()); // a press alone moves nothing
    Mouse(QEvent::MouseMove, QPointF(start.x(), -500));
    EXPECT_EQ(slider->value(), 10000);
    Mouse(QEvent::MouseMove, QPointF(start.x() + 300, 5000));
    EXPECT_EQ(slider->value(), 1000);
    // Half-way up the track: about the middle of the range, in whole steps.
    // The track is centred, so its middle is the widget's.
    const QPointF middle(start.x(), slider->height() / 2.0);
    Mouse(QEvent::MouseMove, middle);
    EXPECT_NEAR(slider->value(), 5500, 20);
    Mouse(QEvent::MouseButtonRelease, middle);
    const int held = slider->value();
    // After the release the pointer no longer moves it.
    Mouse(QEvent::MouseMove, QPointF(start.x(), -500));
    EXPECT_EQ(slider->value(), held);
    ExpectAmplitude(*form, held / 1000.0);
    for (int v : changes)
        EXPECT_TRUE(v >= 1000 && v <= 10000) << v;
}

TEST_F(AmplifySliderTest, APressOnTheTrackBesideTheThumbDoesNothing)
{
    slider->setValue(5000);
    changes.clear();
    const QPoint thumb = slider->thumbCenter();
    for (QPoint at : {thumb - QPoint(0, 60), thumb + QPoint(0, 60), QPoint(8, thumb.y())}) {
        Mouse(QEvent::MouseButtonPress, at);
        Mouse(QEvent::MouseMove, at - QPoint(0, 40));
        Mouse(QEvent::MouseButtonRelease, at - QPoint(0, 40));
    }
    EXPECT_EQ(slider->value(), 5000);
    EXPECT_TRUE(changes.empty());
    // The right button does not drag either.
    Mouse(QEvent::MouseButtonPress, thumb, Qt::RightButton);
    Mouse(QEvent::MouseMove, thumb - QPoint(0, 40), Qt::RightButton);
    EXPECT_EQ(slider->value(), 5000);
}

TEST_F(AmplifySliderTest, DrawsProgressTrackSectionsAndThumbInTheirColours)
{
    slider->setValue(10000);
    const int top = slider->thumbCenter().y();
    slider->setValue(5500);
    hgtest::ProcessFor(20);
    const QImage img = Grab();
    const QPalette pal = slider->palette();
    const QPoint thumb = slider->thumbCenter();
    const int cx = slider->width() / 2;
    // Progress below the thumb: the highlight colour, opaque.
    EXPECT_EQ(QColor(img.pixel(cx, thumb.y() + 60)), pal.color(QPalette::Highlight));
    // Track above the thumb: a faint tint of the button text, not the highlight.
    const QColor track(img.pixel(cx, thumb.y() - 60));
    EXPECT_NE(track, pal.color(QPalette::Highlight));
    EXPECT_GT(qAlpha(img.pixel(cx, thumb.y() - 60)), 0);
    EXPECT_LT(qAlpha(img.pixel(cx, thumb.y() - 60)), 100);
    // Thumb: black (off its centre dot).
    EXPECT_EQ(QColor(img.pixel(cx + 5, thumb.y() - 5)), QColor(Qt::black));
    // Sections on both sides: lime low on the scale, red at its top.
    for (int x : {cx - 13, cx + 13}) {
        const QColor low(img.pixel(x, thumb.y() + 100));
        const QColor high(img.pixel(x, top + 10));
        EXPECT_GT(low.green(), 200) << x;
        EXPECT_LT(low.red(), 30) << x;
        EXPECT_EQ(qAlpha(img.pixel(x, thumb.y() + 100)), 200) << x;
        EXPECT_GT(high.red(), 200) << x;
        EXPECT_LT(high.green(), 30) << x;
        EXPECT_EQ(qAlpha(img.pixel(x, top + 10)), 150) << x;
    }
    // Transparent background away from the drawing.
    EXPECT_EQ(qAlpha(img.pixel(cx, 1)), 0);
}

} // namespace

#include "MainWindowTest.moc"
