// The main window: two inputs side by side, each with its device list, Reset
// button, held peak/average readout and live spectrum display, and between
// them the instruction, the "Better" arrows and the amplify slider. Lives on
// the window thread; only PeakLevel1/PeakLevel2 are also written by the
// capture library's thread, and the displays' Channel and GFXAmplitude
// (atomics of TSpectrum3D) are read by their render threads.
#pragma once

#include "audio/hushcapture.h"

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <string>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class TAmplifySlider;
class TAutoSizeLabel;
class TClientArea;
namespace hg {
class TSpectrum3D;
}

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget *parent = nullptr);
    // Runs FormDestroy (the audio library goes), then Qt destroys the
    // controls; each display stops and waits for its render thread then.
    ~TFormMain() override;

    // Controls, named as in the window's design (also their object names).
    TClientArea *ClientArea = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *ComboBoxAudioDevice1 = nullptr;
    QPushButton *ButtonReset1 = nullptr;
    TAutoSizeLabel *LabelPeak1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *ComboBoxAudioDevice2 = nullptr;
    QPushButton *ButtonReset2 = nullptr;
    TAutoSizeLabel *LabelPeak2 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *LabelLeftBetter = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *LabelRightBetter = nullptr;
    QLabel *Label3 = nullptr;
    TAmplifySlider *scGPSliderInputVolumeAmplify = nullptr;
    // The live spectrum of each input. Each builds its drawing device and
    // starts its render thread by itself once it has its size; the window
    // only writes their Channel and GFXAmplitude.
    hg::TSpectrum3D *Spectrum3D1 = nullptr;
    hg::TSpectrum3D *Spectrum3D2 = nullptr;
    QMenu *File1 = nullptr;
    QAction *Exit1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *Homepage1 = nullptr;
    QTimer *TimerRenderer = nullptr;

    // Held levels per input. The peaks are written by the capture thread
    // (peak-hold routine) and read and zeroed here, whole and relaxed; the
    // averages live on the window thread only.
    std::atomic<float> PeakLevel1{0.0f};
    std::atomic<float> PeakLevel2{0.0f};
    double AverageLevel1 = 0.0;
    double AverageLevel2 = 0.0;
    // Device number each input last started a capture on (-111: none yet),
    // and the channel started last (0: none, or the last start failed).
    int LastRecordDevice1 = -111;
    int LastRecordDevice2 = -111;
    HRECORD RecordingChannel1 = 0;
    HRECORD RecordingChannel2 = 0;

    // Shows a device error; by default a modal "Error" box with the critical
    // icon and one Cancel button. Tests may replace it.
    std::function<void(const QString &text)> ShowError;

public Q_SLOTS:
    void ComboBoxAudioDevice1Select(int index);
    void ComboBoxAudioDevice2Select(int index);
    void ButtonReset1Click();
    void ButtonReset2Click();
    void TimerRendererTimer();
    void scGPSliderInputVolumeAmplifyChange(int value);
    void Exit1Click();
    void Homepage1Click();

public:
    // Fills both device lists from the capture library; nothing selected.
    void ListAudioDevices();

private:
    void BuildControls();
    void FormCreate();
    void FormDestroy();
    void PlaceOnScreen();
    // One input's device choice (list, picked entry and that input's state).
    void SelectDevice(QComboBox *box, int index, int &lastDevice, HRECORD &channel,
                      std::atomic<float> &peak, double &average, hg::TSpectrum3D *display);
    hg::TSpectrum3D *MakeSpectrum3D(QGroupBox *parent, const char *name, const QFont &font);
    void ShowErrorBox(const QString &text);
    void SetReadout(TAutoSizeLabel *label, const std::string &text);
};
