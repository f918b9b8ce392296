// The main window (see Main.h): its controls, menu and timer, the audio
// library's set-up and shutdown, the device lists, the device choice with
// peak hold, Reset, the level readout and the hosting of the two spectrum
// displays. Window thread only; the capture library calls PeakHoldDSP on its
// own thread with &PeakLevel1 / &PeakLevel2.
#include "Main.h"

#include "AmplifySlider.h"
#include "AutoSizeLabel.h"
#include "ClientArea.h"
#include "DeviceErrors.h"
#include "WindowPlacement.h"
#include "app/Scaling.h"
#include "measure/core/AverageFFT.h"
#include "measure/core/DecimalSeparator.h"
#include "measure/core/PeakHold.h"
#include "measure/core/Readout.h"
#include "spectrum/Spectrum3D.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace {

// Every font of the window is Tahoma at a pixel height. Where Tahoma is not
// installed, fontconfig gives a wider sans (DejaVu Sans here) that does not
// fit the window's design widths, so the substitute is condensed to about
// Tahoma's widths; Tahoma itself is used as it is.
QFont TahomaFont(int pixelSize, bool bold)
{
    static const bool haveTahoma =
        QFontInfo(QFont(QStringLiteral("Tahoma"))).family().compare(QStringLiteral("Tahoma"), Qt::CaseInsensitive) == 0;
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    if (!haveTahoma)
        f.setStretch(85);
    return f;
}

template <class W>
W *Make(QWidget *parent, const char *name, QRect geometry, const QFont &font)
{
    W *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    w->setFont(font);
    return w;
}

QLabel *MakeLabel(QWidget *parent, const char *name, QRect geometry, const QString &text, const QFont &font)
{
    QLabel *l = Make<QLabel>(parent, name, geometry, font);
    l->setText(text);
    return l;
}

} // namespace

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent)
{
    BuildControls();
    FormCreate();
    PlaceOnScreen();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

void TFormMain::BuildControls()
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Hushgauge"));
    // Title bar with system menu, minimise and close, but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    const QFont bold11 = TahomaFont(11, true);
    const QFont regular11 = TahomaFont(11, false);
    const QFont bold19 = TahomaFont(19, true);
    const QFont bold27 = TahomaFont(27, true);
    setFont(bold11);

    ClientArea = new TClientArea(QSize(1258, 408), this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setFont(bold11);
    setCentralWidget(ClientArea);
    // The window is as large as its fixed client area and menu bar: the user
    // cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QWidget *const w = ClientArea;
    const QString deviceLabel = QStringLiteral("Audio input device:");
    const QString noReadout = QStringLiteral("0% / 0%");

    GroupBox1 = Make<QGroupBox>(w, "GroupBox1", {0, 0, 546, 409}, bold11);
    GroupBox1->setTitle(QStringLiteral(" Input 1: "));
    Label1 = MakeLabel(GroupBox1, "Label1", {16, 25, 92, 13}, deviceLabel, regular11);
    ComboBoxAudioDevice1 = Make<QComboBox>(GroupBox1, "ComboBoxAudioDevice1", {114, 21, 416, 21}, regular11);
    ButtonReset1 = Make<QPushButton>(GroupBox1, "ButtonReset1", {16, 65, 49, 25}, regular11);
    ButtonReset1->setText(QStringLiteral("Reset"));
    LabelPeak1 = new TAutoSizeLabel(TAutoSizeLabel::Anchor::Right, GroupBox1);
    LabelPeak1->setObjectName(QStringLiteral("LabelPeak1"));
    LabelPeak1->setGeometry(437, 65, 93, 23);
    LabelPeak1->setFont(bold19);
    LabelPeak1->setText(noReadout);

    GroupBox2 = Make<QGroupBox>(w, "GroupBox2", {712, 0, 546, 409}, bold11);
    GroupBox2->setTitle(QStringLiteral(" Input 2: "));
    Label4 = MakeLabel(GroupBox2, "Label4", {16, 25, 92, 13}, deviceLabel, regular11);
    ComboBoxAudioDevice2 = Make<QComboBox>(GroupBox2, "ComboBoxAudioDevice2", {114, 21, 416, 21}, regular11);
    ButtonReset2 = Make<QPushButton>(GroupBox2, "ButtonReset2", {481, 65, 49, 25}, regular11);
    ButtonReset2->setText(QStringLiteral("Reset"));
    LabelPeak2 = new TAutoSizeLabel(TAutoSizeLabel::Anchor::Left, GroupBox2);
    LabelPeak2->setObjectName(QStringLiteral("LabelPeak2"));
    LabelPeak2->setGeometry(16, 65, 93, 23);
    LabelPeak2->setFont(bold19);
    LabelPeak2->setText(noReadout);

    Spectrum3D1 = MakeSpectrum3D(GroupBox1, "Spectrum3D1", regular11);
    Spectrum3D2 = MakeSpectrum3D(GroupBox2, "Spectrum3D2", regular11);

    Label2 = MakeLabel(w, "Label2", {561, 9, 145, 39},
                       QStringLiteral("  Provide input silence for both audio devices to measure the silence noises."),
                       regular11);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelLeftBetter = MakeLabel(w, "LabelLeftBetter", {568, 52, 16, 33}, QStringLiteral("\u25C0"), bold27);
    Label7 = MakeLabel(w, "Label7", {611, 62, 36, 13}, QStringLiteral("Better"), bold11);
    LabelRightBetter = MakeLabel(w, "LabelRightBetter", {676, 52, 16, 33}, QStringLiteral("\u25B6"), bold27);
    LabelLeftBetter->setAlignment(Qt::AlignCenter);
    LabelRightBetter->setAlignment(Qt::AlignCenter);
    Label3 = MakeLabel(w, "Label3", {568, 83, 124, 23}, QStringLiteral("Amplify level"), bold19);

    scGPSliderInputVolumeAmplify = Make<TAmplifySlider>(w, "scGPSliderInputVolumeAmplify", {550, 109, 158, 298}, bold11);
    scGPSliderInputVolumeAmplify->setRange(1000, 10000);
    scGPSliderInputVolumeAmplify->setScale(9, 5);
    scGPSliderInputVolumeAmplify->setHighSection(9000);
    scGPSliderInputVolumeAmplify->setValue(1000);

    for (QComboBox *box : {ComboBoxAudioDevice1, ComboBoxAudioDevice2})
        box->setEditable(false);

    // Menu, without accelerator keys.
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    Exit1 = File1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Help1 = menuBar()->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Homepage1 = Help1->addAction(QStringLiteral("Home page..."));
    Homepage1->setObjectName(QStringLiteral("Homepage1"));

    TimerRenderer = new QTimer(this);
    TimerRenderer->setObjectName(QStringLiteral("TimerRenderer"));
    TimerRenderer->setInterval(20);

    // The handlers are connected after the initial values are set, so that
    // the slider's change handler does not run for its initial value.
    connect(ComboBoxAudioDevice1, &QComboBox::activated, this, &TFormMain::ComboBoxAudioDevice1Select);
    connect(ComboBoxAudioDevice2, &QComboBox::activated, this, &TFormMain::ComboBoxAudioDevice2Select);
    connect(ButtonReset1, &QPushButton::clicked, this, &TFormMain::ButtonReset1Click);
    connect(ButtonReset2, &QPushButton::clicked, this, &TFormMain::ButtonReset2Click);
    connect(scGPSliderInputVolumeAmplify, &TAmplifySlider::changed, this,
            &TFormMain::scGPSliderInputVolumeAmplifyChange);
    connect(Exit1, &QAction::triggered, this, &TFormMain::Exit1Click);
    connect(Homepage1, &QAction::triggered, this, &TFormMain::Homepage1Click);
    connect(TimerRenderer, &QTimer::timeout, this, &TFormMain::TimerRendererTimer);
    TimerRenderer->start();
}

hg::TSpectrum3D *TFormMain::MakeSpectrum3D(QGroupBox *parent, const char *name, const QFont &font)
{
    auto *d = new hg::TSpectrum3D(parent);
    d->setObjectName(QString::fromLatin1(name));
    // Lowered outer bevel, black, captions in white 11 px regular Tahoma
    // (8 points at 96 PPI, the size the caption layout is made for).
    d->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    d->SetColor(0x000000);
    d->setFont(font);
    QPalette palette = d->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    d->setPalette(palette);
    // Qt paints every widget through its backing store, which is the double
    // buffering the design asks for; nothing to switch on.
    // The window shows its own error boxes; the displays show none.
    d->SetSuppressErrors(true);
    // The inner panel, seen only before the first device, in the window's
    // button face; no picture is assigned, so none is shown over it.
    const QColor face = QApplication::palette().color(QPalette::Button);
    d->SetPanel3DColor(static_cast<hg::TColor>(face.red()) | static_cast<hg::TColor>(face.green()) << 8 |
                       static_cast<hg::TColor>(face.blue()) << 16);
    d->SetPanel3DPictureVisible(false);
    // Last, so that the display builds its device for this size (and again
    // for the scaled one) when it is first shown.
    d->setGeometry(16, 96, 514, 297);
    return d;
}

void TFormMain::FormCreate()
{
    // 1. The one-time display scaling (fit ScalingPPI to the monitor, then
    // every control, font and drawn size by ScalingPPI/96).
    hg::ScaleFormAtCreation(this);

    // 2. The audio library without an output device; a failure is not
    // reported (recording may work all the same).
    BASS_Init(0, 44100, 0, reinterpret_cast<void *>(winId()), nullptr);

    // 3. The device lists.
    ListAudioDevices();
}

void TFormMain::FormDestroy()
{
    // Stops every capture (and so every call of PeakHoldDSP) before the held
    // peaks it writes go away with this object. The displays still render
    // until Qt destroys them with the other controls; their channels are
    // gone by then, so they draw a flat curve.
    BASS_Free();
}

void TFormMain::PlaceOnScreen()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    layout()->activate(); // the fixed size from the client area and menu bar
    const QRect s = screen->geometry();
    const QRect desktop = screen->virtualGeometry();
    const QSize outer = frameGeometry().size();
    const hg::Point p = hg::CenteredPlacement({s.x(), s.y(), s.width(), s.height()},
                                              {desktop.x(), desktop.y()}, outer.width(), outer.height());
    move(p.x, p.y);
}

void TFormMain::ListAudioDevices()
{
    ComboBoxAudioDevice1->clear();
    ComboBoxAudioDevice2->clear();
    BASS_DEVICEINFO info{};
    for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i) {
        const QString name = QString::fromUtf8(info.name ? info.name : "");
        ComboBoxAudioDevice1->addItem(name);
        ComboBoxAudioDevice2->addItem(name);
    }
    ComboBoxAudioDevice1->setCurrentIndex(-1);
    ComboBoxAudioDevice2->setCurrentIndex(-1);
}

void TFormMain::ComboBoxAudioDevice1Select(int index)
{
    SelectDevice(ComboBoxAudioDevice1, index, LastRecordDevice1, RecordingChannel1, PeakLevel1, AverageLevel1,
                 Spectrum3D1);
}

void TFormMain::ComboBoxAudioDevice2Select(int index)
{
    SelectDevice(ComboBoxAudioDevice2, index, LastRecordDevice2, RecordingChannel2, PeakLevel2, AverageLevel2,
                 Spectrum3D2);
}

void TFormMain::SelectDevice(QComboBox *box, int index, int &lastDevice, HRECORD &channel,
                             std::atomic<float> &peak, double &average, hg::TSpectrum3D *display)
{
    if (index < 0)
        return;
    // 1. Release the device this input captured from, if it is still open.
    if (lastDevice >= 0 && BASS_RecordSetDevice(static_cast<DWORD>(lastDevice)))
        BASS_RecordFree();
    // 2. Reset the held values.
    peak.store(0.0f, std::memory_order_relaxed);
    average = 0.0;
    // 3. Open the chosen device.
    const QString entry = box->itemText(index);
    if (!BASS_RecordInit(index)) {
        ShowErrorBox(hg::DeviceErrorText(hg::DeviceError::Init, entry, BASS_ErrorGetCode()));
        return;
    }
    // 4. Start capturing; the handle is kept at once, 0 after a failure.
    channel = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, hg::RecordCallback, nullptr);
    if (channel == 0) {
        const int code = BASS_ErrorGetCode();
        // The device opened but does not capture. Nothing records it as this
        // input's device, so release it now: left open it could be opened
        // again neither by this input nor by the other one until the program
        // ends. It is still the thread's current device.
        BASS_RecordFree();
        ShowErrorBox(hg::DeviceErrorText(hg::DeviceError::Start, entry, code));
        return;
    }
    // 5. Remember the device and hold the peaks of its blocks.
    lastDevice = index;
    peak.store(0.0f, std::memory_order_relaxed);
    BASS_ChannelSetDSP(channel, hg::PeakHoldDSP, &peak, 0);
    // The input's display shows this capture from its next frame on. This
    // is the only place that gives it a channel: after a failed choice it
    // keeps the released one, which is inactive and so draws flat.
    display->Channel.store(channel, std::memory_order_relaxed);
}

void TFormMain::ButtonReset1Click()
{
    PeakLevel1.store(0.0f, std::memory_order_relaxed);
    AverageLevel1 = 0.0;
}

void TFormMain::ButtonReset2Click()
{
    PeakLevel2.store(0.0f, std::memory_order_relaxed);
    AverageLevel2 = 0.0;
}

void TFormMain::TimerRendererTimer()
{
    hg::CalculateAverageFFT(RecordingChannel1, AverageLevel1);
    hg::CalculateAverageFFT(RecordingChannel2, AverageLevel2);
    const std::string sep = hg::CurrentDecimalSeparator();
    // Each held peak is read once per use: a block may raise it in between.
    SetReadout(LabelPeak1, hg::ReadoutText(PeakLevel1.load(std::memory_order_relaxed), AverageLevel1, sep));
    SetReadout(LabelPeak2, hg::ReadoutText(PeakLevel2.load(std::memory_order_relaxed), AverageLevel2, sep));
    const hg::BetterArrows arrows =
        hg::BetterArrowsFor(PeakLevel1.load(std::memory_order_relaxed), PeakLevel2.load(std::memory_order_relaxed));
    LabelLeftBetter->setVisible(arrows.LeftVisible);
    LabelRightBetter->setVisible(arrows.RightVisible);
}

void TFormMain::SetReadout(TAutoSizeLabel *label, const std::string &text)
{
    // Most ticks repeat the last text; only a new one is laid out and drawn.
    const QString s = QString::fromStdString(text);
    if (label->text() != s)
        label->setText(s);
}

void TFormMain::scGPSliderInputVolumeAmplifyChange(int value)
{
    // Both displays always share one magnification, 1.0 to 10.0; the
    // measured levels do not depend on it.
    const double factor = value / 1000.0;
    Spectrum3D1->GFXAmplitude.store(factor, std::memory_order_relaxed);
    Spectrum3D2->GFXAmplitude.store(factor, std::memory_order_relaxed);
}

void TFormMain::Exit1Click()
{
    close();
    QCoreApplication::quit();
}

void TFormMain::Homepage1Click()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral(HG_HOMEPAGE_URL)));
}

void TFormMain::ShowErrorBox(const QString &text)
{
    if (ShowError) {
        ShowError(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Cancel, this);
    box.exec();
}
