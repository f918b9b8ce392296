// TSpectrum3D: the spectrum display control, a lowered panel that builds its
// OpenGL renderer on every resize, draws the grid, the live spectrum of its
// channel and the scale captions on a render thread of its own, and reports
// its failures in message boxes. TPanelSpectrum is its inner drawing panel,
// TSamplePicture the picture that covers that panel until the first device.
//
// Threads. Everything here runs on the window thread except Render and what
// it calls (the frames, on the render thread of Spectrum3DRenderThread.h).
// Shared between the two threads, all whole values with relaxed order:
//   written by the window thread, read by frames: Channel, GFXAmplitude,
//     GFXZoom, GFXScroll, FFTSize, FCustomSampleRate, bSuppressErrors,
//     FShowText, CallbackOnNeedFFTData, the render events (each held in a
//     TRenderEventSlot: an atomic pointer whose replaced handlers are freed
//     only once no render thread runs), and the inner panel's size and
//     font size that the captions are computed from;
//   written by frames: Rendering (read by hosts).
// The device (Renderer, the two vertex buffers, the staging block) and
// matWorld are plain fields: the window thread makes them before the render
// thread starts and gives them up only after it has ended, and does not
// touch them in between. Caption texts and error boxes that a frame
// produces travel to the window thread through the display's mailbox (a
// mutex and a condition variable) and a call posted to the window thread;
// no widget is touched by a frame.
#pragma once

#include "Spectrum3DCaptions.h"
#include "Spectrum3DData.h"
#include "Spectrum3DEvents.h"
#include "Spectrum3DRenderThread.h"
#include "Spectrum3DTypes.h"

#include "render/S3DRenderer.h"

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QWindow;

namespace hg {

class TSpectrum3D;
class TSpectrum3DInputForwarding;

// The windowing toolkit's colour value: 0x00BBGGRR.
using TColor = std::uint32_t;
QColor ToQColor(TColor aColor);

// The picture over the inner panel while it is visible. No fields of its own.
class TSamplePicture : public QLabel {
    Q_OBJECT
public:
    explicit TSamplePicture(QWidget *aParent);
};

// The inner drawing panel: a panel without bevel whose drawing surface is a
// QWindow of OpenGL surface type, embedded with a window container that
// fills it, and the picture that covers it. Window thread.
class TPanelSpectrum : public QFrame {
    Q_OBJECT
public:
    explicit TPanelSpectrum(QWidget *aParent, std::uint32_t aSamples);
    ~TPanelSpectrum() override;

    // The surface the renderer draws into (the panel's window "Handle").
    QWindow *Surface() const { return FSurface; }
    QWidget *SurfaceContainer() const { return FContainer; }
    TSamplePicture *Picture() const { return FPicture; }

    void SetColor(TColor aColor);
    TColor Color() const { return FColor; }
    // The caption shown while neither the picture nor a device covers it.
    void SetCaption(const QString &aCaption);
    QString Caption() const { return FCaption; }

    // Shows the drawing surface (once a renderer exists) or hides it; the
    // picture, while visible, always covers the panel.
    void SetSurfaceShown(bool aShown);
    void SetPictureVisible(bool aVisible);
    bool PictureVisible() const { return FPictureVisible; }

    // Sets the geometry and at once the geometry of the children, so that a
    // renderer made right after sees its final size even while hidden.
    void PlaceAt(const QRect &aRect);

protected:
    void resizeEvent(QResizeEvent *aEvent) override;
    void paintEvent(QPaintEvent *aEvent) override;

private:
    void UpdateChildren();

    TSamplePicture *FPicture = nullptr; // owned (child)
    QWindow *FSurface = nullptr;        // owned by FContainer
    QWidget *FContainer = nullptr;      // owned (child)
    TColor FColor = 0;
    QString FCaption;
    bool FPictureVisible = true;
    bool FSurfaceShown = false;
};

// One render-thread event: the window thread sets it at any time, a frame
// reads it. The pointer is published with release and read with acquire,
// so a frame sees a whole handler; a replaced handler may still be running
// in a frame, so it is kept until FreeRetired, which the display calls once
// its render thread has ended.
template <class T> class TRenderEventSlot {
public:
    TRenderEventSlot() = default;
    TRenderEventSlot(const TRenderEventSlot &) = delete;
    TRenderEventSlot &operator=(const TRenderEventSlot &) = delete;
    ~TRenderEventSlot() { delete FCurrent.load(std::memory_order_acquire); }

    // Window thread. aFrameMayRun: a render thread exists.
    void Set(T aHandler, bool aFrameMayRun)
    {
        const T *fresh = aHandler ? new T(std::move(aHandler)) : nullptr;
        const T *old = FCurrent.exchange(fresh, std::memory_order_acq_rel);
        if (old != nullptr) {
            if (aFrameMayRun)
                FRetired.emplace_back(old);
            else
                delete old;
        }
    }
    // Window thread, while no render thread exists.
    void FreeRetired() { FRetired.clear(); }
    // Any thread: the handler, or null when none is assigned.
    const T *Get() const { return FCurrent.load(std::memory_order_acquire); }

private:
    std::atomic<const T *> FCurrent{nullptr};
    std::vector<std::unique_ptr<const T>> FRetired; // window thread only
};

// What a frame hands to the window thread: caption texts and the places
// that do not need the labels' sizes (the lefts of the frequency captions
// depend on each label's width for its new text and are worked out on the
// window thread, from the same pure arithmetic).
struct TCaptionPost {
    TFreqCaptionTexts freq;
    TLevelCaptionTexts level;
    std::array<int32_t, kLevelCaptionCount> levelTop{};
    int32_t panelWidth = 0;
    int32_t panelLeft = 0;
    friend bool operator==(const TCaptionPost &, const TCaptionPost &) = default;
};

// Fault injection for tests: each counter makes that many of the next
// attempts fail as if the system had refused. Zero (never set) in the
// program. Any thread.
struct TSpectrum3DFaults {
    static std::atomic<int> GridStagingAlloc; // the grid's 728-byte staging block
    static std::atomic<int> GridWrite;        // writing the grid's vertices raises
    static std::atomic<int> GridCreate;       // creating the grid buffer fails
    static std::atomic<int> StagingAlloc;     // the 57316-byte staging block
    static std::atomic<int> FFTCreate;        // creating the spectrum buffer fails
    static bool Take(std::atomic<int> &aCounter);
};

class TSpectrum3D : public QFrame {
    Q_OBJECT
public:
    // How a box is shown; tests replace it to read texts without a human.
    // Called on the window thread; the default shows a modal QMessageBox with
    // one OK button.
    using TBoxHook = std::function<void(TSpectrum3D *Display, QMessageBox::Icon Kind, const QString &Text)>;
    static void SetBoxHook(TBoxHook aHook);

    explicit TSpectrum3D(QWidget *AOwner = nullptr);
    ~TSpectrum3D() override; // Destroy

    // --- lifecycle (window thread) ------------------------------------
    bool D3DInit();
    void D3DFree();
    void D3DReInitialize();
    void Close();
    void StartRendering();
    void StopRendering();
    // One frame. Render thread (or a host on the window thread while no
    // render thread runs).
    void Render();

    void LayoutCaptions();
    void ResizeHandler(QObject *Sender);

    // --- host-written fields (any time, window thread) ------------------
    std::atomic<double> GFXZoom{1.0};
    std::atomic<double> GFXScroll{0.0};
    std::atomic<double> GFXAmplitude{1.0};
    std::atomic<std::uint32_t> Channel{0};
    std::atomic<std::uint32_t> FFTSize{BASS_DATA_FFT4096};
    std::atomic<t_Spectrum3D_OnNeedFFTData> CallbackOnNeedFFTData{nullptr};
    bool DoNotInitialize = false;
    bool BackgroundPictureStretch = false;
    void *D3D11Device = nullptr; // never set or read
    std::intptr_t Tag = 0;

    // The resize event: ResizeHandler unless a host puts its own here.
    std::function<void(QObject *Sender)> OnResize;

    // --- the device and its thread (read-only for hosts) ----------------
    TPanelSpectrum *PanelSpectrum = nullptr;
    TDXRenderer *Renderer = nullptr;
    TSpectrum3DRenderThread *RenderThread = nullptr;
    GLuint GridBuffer() const { return VertexBuffer_Grid; }
    GLuint FFTBuffer() const { return VertexBuffer_FFT; }
    const TColorVertex *StagingBlock() const { return PFFTVertexes; }
    const _D3DMATRIX &WorldMatrix() const { return matWorld; }
    const _D3DMATRIX &RotSampleMatrix() const { return matRotSample; }
    float SampleAmplitudeValue() const { return SampleAmplitude; }
    bool IsRendering() const { return Rendering.load(std::memory_order_relaxed); }
    // The caption label, index 0 for FCaptionFreq1 / FCaptionLevel1; null
    // before the first layout with captions.
    QLabel *CaptionFreq(int aIndex) const { return FCaptionFreq[aIndex]; }
    QLabel *CaptionLevel(int aIndex) const { return FCaptionLevel[aIndex]; }

    // --- properties ------------------------------------------------------
    TSpectrum3DBeforeD3DRender BeforeD3DRender() const;
    void SetBeforeD3DRender(TSpectrum3DBeforeD3DRender aHandler);
    TSpectrum3DAfterD3DRender AfterD3DRender() const;
    void SetAfterD3DRender(TSpectrum3DAfterD3DRender aHandler);
    TSpectrum3DOnNeedFFTData OnNeedFFTData() const;
    void SetOnNeedFFTData(TSpectrum3DOnNeedFFTData aHandler);
    TSpectrum3DOnD3DDestroy OnD3DDestroy() const { return FOnD3DDestroy; }
    void SetOnD3DDestroy(TSpectrum3DOnD3DDestroy aHandler) { FOnD3DDestroy = std::move(aHandler); }
    // The six input events (window thread only).
    TSpectrum3DInputEvents &InputEvents() { return FInputEvents; }

    bool SuppressErrors() const { return bSuppressErrors.load(std::memory_order_relaxed); }
    void SetSuppressErrors(bool aValue) { bSuppressErrors.store(aValue, std::memory_order_relaxed); }
    TColor Panel3DColor() const { return PanelSpectrum->Color(); }
    void SetPanel3DColor(TColor aColor) { PanelSpectrum->SetColor(aColor); }
    QPixmap Panel3DPicture() const { return FPicturePixmap; }
    void SetPanel3DPicture(const QPixmap &aPicture);
    bool Panel3DPictureVisible() const { return PanelSpectrum->PictureVisible(); }
    void SetPanel3DPictureVisible(bool aVisible) { PanelSpectrum->SetPictureVisible(aVisible); }
    TColor SpectrumBackColor() const { return FBackgroundColor; }
    void SetSpectrumBackColor(TColor aColor) { FBackgroundColor = aColor; }
    std::uint32_t Antialiasing() const { return FAntialiasing; }
    void SetAntialiasing(std::uint32_t aValue) { FAntialiasing = aValue; }
    bool ShowText() const { return FShowText.load(std::memory_order_relaxed); }
    void SetShowText(bool aValue) { FShowText.store(aValue, std::memory_order_relaxed); }
    bool ShowGridLines() const { return FShowGridLines; }
    void SetShowGridLines(bool aValue) { FShowGridLines = aValue; }
    bool GradientGrid() const { return FGradientGrid; }
    void SetGradientGrid(bool aValue) { FGradientGrid = aValue; }
    QString BackgroundPictureFileName() const { return FBackgroundPictureFileName; }
    void SetBackgroundPictureFileName(const QString &aName);
    std::int32_t CustomSampleRate() const { return FCustomSampleRate.load(std::memory_order_relaxed); }
    void SetCustomSampleRate(std::int32_t aRate) { FCustomSampleRate.store(aRate, std::memory_order_relaxed); }

    // The display's colour (the panel's own), and its font size in whole
    // points: round(pixel height x 72 / 96).
    TColor Color() const { return FColor; }
    void SetColor(TColor aColor);
    int32_t FontSizePoints() const;

protected:
    void resizeEvent(QResizeEvent *aEvent) override;
    // Gives up the device when the drawing surface's native window is about
    // to be destroyed (see the constructor).
    bool eventFilter(QObject *aWatched, QEvent *aEvent) override;

private:
    friend class TSpectrum3DRenderThread;

    void InitGridVertexes(GLuint &Buffer);
    void InitGradientGridVertexes(GLuint &Buffer);
    void BuildGrid(GLuint &Buffer, bool aGradient);
    void UpdateFFTVertexes(GLuint &Buffer, std::uint32_t aChannel);
    void SetGridMatrices();
    void SetSpectrumMatrices(double aZoom, double aScroll);
    void UpdateCaptions(double aZoom, double aScroll);
    void ReleaseBuffers();

    // Shows a box of the given kind unless boxes are suppressed: at once on
    // the window thread; from the render thread through the mailbox, waiting
    // until the window thread has shown it. aText is a constant.
    void ReportBox(QMessageBox::Icon aKind, const char *aText);
    void ShowBox(QMessageBox::Icon aKind, const QString &aText);
    // Window thread: shows the box a frame waits for, if any. Invoked by
    // name from the render thread (a posted call), so that no functor object
    // made on one thread is read on the other outside Qt's own queue.
    Q_INVOKABLE void ServeBoxRequest();
    // Window thread: gives the labels the captions of the latest post.
    Q_INVOKABLE void ApplyCaptions();
    // Window thread, while stopping: lets a frame go on that waits for a box
    // which is already up further down this thread's stack (a stop from
    // inside that box's event loop), since that box cannot close first.
    void ReleaseFrameWaitingForShownBox();
    // Window thread: the values frames read about the panel and locale.
    void PublishPanelGeometry();

    static std::int32_t FetchTrampoline(void *aContext, float *aData, std::int32_t aCount);

    // Fields in the order of the display's design.
    TColor FBackgroundColor = 0;
    TRenderEventSlot<TSpectrum3DBeforeD3DRender> FBeforeD3DRender;
    TRenderEventSlot<TSpectrum3DAfterD3DRender> FAfterD3DRender;
    TSpectrum3DOnD3DDestroy FOnD3DDestroy;
    TSpectrum3DInputEvents FInputEvents;
    // Raises FInputEvents from the controls' input (Spectrum3DInput.h);
    // declared after it, so that it goes first.
    std::unique_ptr<TSpectrum3DInputForwarding> FInputForwarding;
    std::atomic<bool> bSuppressErrors{false};
    GLuint VertexBuffer_Grid = 0;
    GLuint VertexBuffer_FFT = 0;
    _D3DMATRIX matWorld{};
    _D3DMATRIX matRotSample{};
    float SampleAmplitude = 0.0f;
    std::atomic<bool> Rendering{false};
    std::uint32_t FAntialiasing = 4;
    std::atomic<bool> FShowText{true};
    bool FShowGridLines = true;
    TColorVertex *PFFTVertexes = nullptr; // 2047 vertices, owned
    bool FGradientGrid = false;
    QString FBackgroundPictureFileName;
    TRenderEventSlot<TSpectrum3DOnNeedFFTData> FOnNeedFFTData;
    std::atomic<std::int32_t> FCustomSampleRate{0};
    std::array<QLabel *, kLevelCaptionCount> FCaptionLevel{};
    std::array<QLabel *, kFreqCaptionCount> FCaptionFreq{};

    TColor FColor = 0;
    QPixmap FPicturePixmap;
    bool FPanelAlignClient = true; // the inner panel fills the display

    // Published by the window thread before a thread starts; read by frames.
    std::atomic<int32_t> FPanelWidth{0};
    std::atomic<int32_t> FPanelHeight{0};
    std::atomic<int32_t> FPanelLeft{0};
    std::atomic<int32_t> FFontPoints{8};
    // The locale's separators, UTF-8; written only while no thread runs.
    char FDecimalSep[8] = ".";
    char FGroupSep[8] = ",";

    // Render thread only: the captions last posted.
    TCaptionPost FLastCaptions;
    bool FCaptionsPosted = false;
    TCaptionPost FScratchCaptions;

    // Between the render thread and the window thread.
    struct TMailbox {
        std::mutex lock;
        std::condition_variable answered;
        TCaptionPost captions;
        bool captionsFresh = false;
        const char *boxText = nullptr; // the box a frame asks for, not yet shown
        QMessageBox::Icon boxKind = QMessageBox::NoIcon;
        bool frameWaiting = false; // a frame waits until boxesDone changes
        bool boxShowing = false;   // the window thread shows a frame's box
        std::uint64_t boxesDone = 0;
    } FMailbox;
    std::atomic<bool> FCaptionPostPending{false};
};

} // namespace hg
