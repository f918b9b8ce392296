// TSpectrum3D, TPanelSpectrum and TSamplePicture (see Spectrum3D.h): the
// display's widgets, device lifecycle and layout on the window thread, and
// its frames (Render and what it calls) on the render thread.
#include "Spectrum3D.h"

#include "Spectrum3DGrid.h"
#include "Spectrum3DInput.h"
#include "Spectrum3DMatrices.h"
#include "Spectrum3DRenderThread.h"
#include "Spectrum3DVertexes.h"

#include "render/S3DMatrix.h"

#include <QDeadlineTimer>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QThread>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace hg {

namespace {

// Box texts.
constexpr const char *kCreateDeviceError = "Error: Creating D3D Device!\r\rTSpectrum3D.InitD3D()";
constexpr const char *kStagingAllocError = "Error: Exception: PFFTVertexes GetMem: 57316";
constexpr const char *kGridAllocError = "Error: GetMem: 728";
constexpr const char *kGridWriteError = "Error: Exception: Init Grid vertexes.";
constexpr const char *kGridCreateError = "Error: CreateBuffer() grid vertexes.";
constexpr const char *kFFTCreateError = "Error: CreateBuffer() FFT vertexes.";
constexpr const char *kRenderingFrameError = "Error: Exception: Rendering frame.";
constexpr const char *kRenderingTextError = "Error: Exception: Rendering text.";
static_assert(kSpectrumVertexCount * sizeof(TColorVertex) == 57316, "kStagingAllocError names the size");
static_assert(kGridVertexCount * sizeof(TColorVertex) == 728, "kGridAllocError names the size");

constexpr const char *kInnerPanelCaption = "TSpectrum3D by Orvelle";
constexpr int kFontPixelHeight = 11; // 8 points at 96 pixels per inch

TSpectrum3D::TBoxHook &BoxHook()
{
    static TSpectrum3D::TBoxHook hook;
    return hook;
}

constexpr auto kRelaxed = std::memory_order_relaxed;

void CopySeparator(const QString &aText, char (&aOut)[8])
{
    const QByteArray utf8 = aText.toUtf8();
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(utf8.size()), sizeof(aOut) - 1);
    std::memcpy(aOut, utf8.constData(), n);
    aOut[n] = '\0';
}

void SetBackground(QWidget *aWidget, TColor aColor)
{
    QPalette palette = aWidget->palette();
    palette.setColor(QPalette::Window, ToQColor(aColor));
    aWidget->setPalette(palette);
    aWidget->setAutoFillBackground(true);
}

} // namespace

QColor ToQColor(TColor aColor)
{
    return QColor(static_cast<int>(aColor & 0xFF), static_cast<int>((aColor >> 8) & 0xFF),
                  static_cast<int>((aColor >> 16) & 0xFF));
}

// ---- fault injection ------------------------------------------------------

std::atomic<int> TSpectrum3DFaults::GridStagingAlloc{0};
std::atomic<int> TSpectrum3DFaults::GridWrite{0};
std::atomic<int> TSpectrum3DFaults::GridCreate{0};
std::atomic<int> TSpectrum3DFaults::StagingAlloc{0};
std::atomic<int> TSpectrum3DFaults::FFTCreate{0};

bool TSpectrum3DFaults::Take(std::atomic<int> &aCounter)
{
    int left = aCounter.load(kRelaxed);
    while (left > 0) {
        if (aCounter.compare_exchange_weak(left, left - 1, kRelaxed))
            return true;
    }
    return false;
}

// ---- TSamplePicture and TPanelSpectrum ------------------------------------

TSamplePicture::TSamplePicture(QWidget *aParent) : QLabel(aParent)
{
    setScaledContents(true);
}

TPanelSpectrum::TPanelSpectrum(QWidget *aParent, std::uint32_t aSamples) : QFrame(aParent)
{
    setFrameShape(QFrame::NoFrame);
    FPicture = new TSamplePicture(this);
    FSurface = new QWindow;
    FSurface->setSurfaceType(QSurface::OpenGLSurface);
    FSurface->setFormat(TDXRenderer::SurfaceFormat(aSamples));
    FContainer = QWidget::createWindowContainer(FSurface, this);
    FContainer->setFocusPolicy(Qt::NoFocus);
    UpdateChildren();
}

TPanelSpectrum::~TPanelSpectrum() = default; // the children go with the panel

void TPanelSpectrum::SetColor(TColor aColor)
{
    FColor = aColor;
    SetBackground(this, aColor);
}

void TPanelSpectrum::SetCaption(const QString &aCaption)
{
    FCaption = aCaption;
    update();
}

void TPanelSpectrum::SetSurfaceShown(bool aShown)
{
    FSurfaceShown = aShown;
    UpdateChildren();
}

void TPanelSpectrum::SetPictureVisible(bool aVisible)
{
    FPictureVisible = aVisible;
    UpdateChildren();
}

void TPanelSpectrum::PlaceAt(const QRect &aRect)
{
    setGeometry(aRect);
    FContainer->setGeometry(0, 0, aRect.width(), aRect.height());
    FPicture->setGeometry(0, 0, aRect.width(), aRect.height());
}

void TPanelSpectrum::resizeEvent(QResizeEvent *aEvent)
{
    QFrame::resizeEvent(aEvent);
    FContainer->setGeometry(rect());
    FPicture->setGeometry(rect());
}

void TPanelSpectrum::paintEvent(QPaintEvent *aEvent)
{
    QFrame::paintEvent(aEvent);
    if (FCaption.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, FCaption);
}

// A native drawing surface sits above every sibling widget, so the picture
// covers the panel by hiding the surface while the picture is visible.
void TPanelSpectrum::UpdateChildren()
{
    FPicture->setVisible(FPictureVisible);
    FContainer->setVisible(FSurfaceShown && !FPictureVisible);
    if (FPictureVisible)
        FPicture->raise();
}

// ---- TSpectrum3D: construction and properties -----------------------------

void TSpectrum3D::SetBoxHook(TBoxHook aHook) { BoxHook() = std::move(aHook); }

TSpectrum3D::TSpectrum3D(QWidget *AOwner) : QFrame(AOwner)
{
    // 2. Colour (SpectrumBackColor, black here), white font, no caption.
    SetColor(FBackgroundColor);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    // 3. The inner panel fills the display; it takes the display's colour.
    PanelSpectrum = new TPanelSpectrum(this, 4);
    PanelSpectrum->SetCaption(QString::fromUtf8(kInnerPanelCaption));
    PanelSpectrum->SetColor(FColor);
    PanelSpectrum->SetPictureVisible(true);
    // 4. Lowered bevel.
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    FPanelAlignClient = true;
    PanelSpectrum->PlaceAt(contentsRect());
    // 5. Defaults (the member initialisers hold the same values).
    bSuppressErrors.store(false, kRelaxed);
    GFXZoom.store(1.0, kRelaxed);
    GFXScroll.store(0.0, kRelaxed);
    GFXAmplitude.store(1.0, kRelaxed);
    FAntialiasing = 4;
    FShowText.store(true, kRelaxed);
    FShowGridLines = true;
    FGradientGrid = false;
    PFFTVertexes = nullptr;
    FFTSize.store(BASS_DATA_FFT4096, kRelaxed);
    // 6. Font: 8 points of Verdana.
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(kFontPixelHeight);
    setFont(font);
    // 7. The resize event.
    OnResize = [this](QObject *Sender) { ResizeHandler(Sender); };
    // Input on the inner panel, its picture, its drawing surface and the
    // display raises the display's input events.
    FInputForwarding = InstallSpectrum3DInput(this, PanelSpectrum, PanelSpectrum->Surface(),
                                              PanelSpectrum->Picture(), &FInputEvents);
    // Closing the top-level window destroys the whole native window tree,
    // the drawing surface with it, before any widget is deleted. A frame
    // must never present into a surface that is gone, so the device goes
    // first (see eventFilter).
    PanelSpectrum->Surface()->installEventFilter(this);
}

bool TSpectrum3D::eventFilter(QObject *aWatched, QEvent *aEvent)
{
    // Window thread: the surface's native window is about to be destroyed.
    // A running render thread is stopped and the device given up while the
    // surface still exists; the next resize or D3DReInitialize builds a new
    // one. While no thread runs (inside D3DInit the renderer may make the
    // native window anew) nothing draws into the surface, so nothing is done.
    if (RenderThread != nullptr && aWatched == PanelSpectrum->Surface() && aEvent->type() == QEvent::PlatformSurface
        && static_cast<QPlatformSurfaceEvent *>(aEvent)->surfaceEventType()
               == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
        D3DFree();
    return QFrame::eventFilter(aWatched, aEvent);
}

TSpectrum3D::~TSpectrum3D()
{
    D3DFree();
    for (QLabel *&label : FCaptionLevel) {
        if (label != nullptr) {
            QLabel *gone = label;
            label = nullptr;
            delete gone;
        }
    }
    for (QLabel *&label : FCaptionFreq) {
        if (label != nullptr) {
            QLabel *gone = label;
            label = nullptr;
            delete gone;
        }
    }
    FInputForwarding.reset();
    TPanelSpectrum *panel = PanelSpectrum;
    PanelSpectrum = nullptr;
    delete panel;
}

void TSpectrum3D::SetColor(TColor aColor)
{
    FColor = aColor;
    SetBackground(this, aColor);
}

int32_t TSpectrum3D::FontSizePoints() const
{
    const QFont f = font();
    if (f.pixelSize() > 0)
        return static_cast<int32_t>(std::lround(f.pixelSize() * 72.0 / 96.0));
    return static_cast<int32_t>(std::lround(f.pointSizeF()));
}

TSpectrum3DBeforeD3DRender TSpectrum3D::BeforeD3DRender() const
{
    const TSpectrum3DBeforeD3DRender *h = FBeforeD3DRender.Get();
    return h ? *h : TSpectrum3DBeforeD3DRender();
}

void TSpectrum3D::SetBeforeD3DRender(TSpectrum3DBeforeD3DRender aHandler)
{
    FBeforeD3DRender.Set(std::move(aHandler), RenderThread != nullptr);
}

TSpectrum3DAfterD3DRender TSpectrum3D::AfterD3DRender() const
{
    const TSpectrum3DAfterD3DRender *h = FAfterD3DRender.Get();
    return h ? *h : TSpectrum3DAfterD3DRender();
}

void TSpectrum3D::SetAfterD3DRender(TSpectrum3DAfterD3DRender aHandler)
{
    FAfterD3DRender.Set(std::move(aHandler), RenderThread != nullptr);
}

TSpectrum3DOnNeedFFTData TSpectrum3D::OnNeedFFTData() const
{
    const TSpectrum3DOnNeedFFTData *h = FOnNeedFFTData.Get();
    return h ? *h : TSpectrum3DOnNeedFFTData();
}

void TSpectrum3D::SetOnNeedFFTData(TSpectrum3DOnNeedFFTData aHandler)
{
    FOnNeedFFTData.Set(std::move(aHandler), RenderThread != nullptr);
}

void TSpectrum3D::SetPanel3DPicture(const QPixmap &aPicture)
{
    FPicturePixmap = aPicture; // a copy: the caller keeps its own
    PanelSpectrum->Picture()->setPixmap(FPicturePixmap);
}

void TSpectrum3D::SetBackgroundPictureFileName(const QString &aName)
{
    if (aName != FBackgroundPictureFileName)
        FBackgroundPictureFileName = aName;
}

// ---- layout -----------------------------------------------------------------

void TSpectrum3D::resizeEvent(QResizeEvent *aEvent)
{
    QFrame::resizeEvent(aEvent);
    // A filling inner panel follows the display before the handler runs.
    if (FPanelAlignClient)
        PanelSpectrum->PlaceAt(contentsRect());
    if (OnResize)
        OnResize(this);
}

void TSpectrum3D::ResizeHandler(QObject *)
{
    D3DFree();
    LayoutCaptions();
    // There is no form designer here: a resize always builds a device.
    D3DInit();
}

void TSpectrum3D::LayoutCaptions()
{
    const int32_t points = FontSizePoints();
    if (FShowText.load(kRelaxed)) {
        FPanelAlignClient = false;
        const TCaptionLayout l = hg::LayoutCaptions(width(), height(), points);
        PanelSpectrum->PlaceAt(QRect(l.panelLeft, l.panelTop, l.panelWidth, l.panelHeight));
        const auto place = [this](QLabel *&label, int left, int top) {
            if (label == nullptr) {
                label = new QLabel(this);
                label->setAttribute(Qt::WA_TransparentForMouseEvents);
            }
            label->setParent(this);
            label->move(left, top);
            label->setFont(font());
            label->adjustSize();
            label->show();
        };
        for (QLabel *&label : FCaptionLevel)
            place(label, l.levelLeft, l.levelTop);
        for (QLabel *&label : FCaptionFreq)
            place(label, l.freqLeft, l.freqTop);
    } else {
        FPanelAlignClient = true;
        PanelSpectrum->PlaceAt(contentsRect());
    }
    PanelSpectrum->raise();
    PublishPanelGeometry();
}

void TSpectrum3D::PublishPanelGeometry()
{
    FPanelWidth.store(PanelSpectrum->width(), kRelaxed);
    FPanelHeight.store(PanelSpectrum->height(), kRelaxed);
    FPanelLeft.store(PanelSpectrum->x(), kRelaxed);
    FFontPoints.store(FontSizePoints(), kRelaxed);
}

// ---- lifecycle (window thread) ----------------------------------------------

bool TSpectrum3D::D3DInit()
{
    // A device left from an earlier D3DInit is given up first, so that no
    // part of it is lost and no second thread starts.
    if (Renderer != nullptr || RenderThread != nullptr || PFFTVertexes != nullptr ||
        VertexBuffer_Grid != 0 || VertexBuffer_FFT != 0)
        D3DFree();

    SetColor(FBackgroundColor);
    PanelSpectrum->SetColor(FColor);
    if (DoNotInitialize)
        return false;

    try {
        LayoutCaptions();
        QWindow *surface = PanelSpectrum->Surface();
        if (surface->handle() == nullptr)
            surface->setFormat(TDXRenderer::SurfaceFormat(FAntialiasing));
        // The container's native window parents the surface.
        PanelSpectrum->SurfaceContainer()->winId();
        Renderer = new TDXRenderer(surface, PanelSpectrum->width(), PanelSpectrum->height(), FAntialiasing);
        PanelSpectrum->SetSurfaceShown(true);

        if (FGradientGrid)
            InitGradientGridVertexes(VertexBuffer_Grid);
        else
            InitGridVertexes(VertexBuffer_Grid);

        PFFTVertexes = TSpectrum3DFaults::Take(TSpectrum3DFaults::StagingAlloc)
                           ? nullptr
                           : new (std::nothrow) TColorVertex[kSpectrumVertexCount]();
        if (PFFTVertexes == nullptr) {
            ReportBox(QMessageBox::Warning, kStagingAllocError);
            return false;
        }

        UpdateFFTVertexes(VertexBuffer_FFT, Channel.load(kRelaxed));
        PanelSpectrum->SetPictureVisible(false);
        StartRendering();
        return true;
    } catch (...) {
        ReportBox(QMessageBox::Warning, kCreateDeviceError);
        return false;
    }
}

void TSpectrum3D::ReleaseBuffers()
{
    if (Renderer != nullptr) {
        Renderer->ReleaseVertexBuffer(VertexBuffer_Grid);
        Renderer->ReleaseVertexBuffer(VertexBuffer_FFT);
    }
    VertexBuffer_Grid = 0;
    VertexBuffer_FFT = 0;
}

void TSpectrum3D::D3DFree()
{
    StopRendering();
    // GL buffers live in the renderer's context, so they are released
    // through it before it goes.
    ReleaseBuffers();
    if (Renderer != nullptr) {
        TDXRenderer *gone = Renderer;
        Renderer = nullptr;
        delete gone;
    }
    delete[] PFFTVertexes;
    PFFTVertexes = nullptr;
}

void TSpectrum3D::D3DReInitialize()
{
    D3DFree();
    LayoutCaptions();
    D3DInit();
}

void TSpectrum3D::Close()
{
    Channel.store(0, kRelaxed);
    StopRendering();
    try {
        ReleaseBuffers();
        matWorld = MatrixIdentity();
        matRotSample = MatrixIdentity();
        SampleAmplitude = 1.0f;
        Rendering.store(false, kRelaxed);
        Tag = 0;
    } catch (...) {
        // Ignored: the device goes all the same.
    }
    D3DFree();
}

void TSpectrum3D::StartRendering()
{
    StopRendering();
    // No thread runs now: what frames read without a lock is set here.
    const QLocale locale = QLocale::system();
    CopySeparator(locale.decimalPoint(), FDecimalSep);
    CopySeparator(locale.groupSeparator(), FGroupSep);
    PublishPanelGeometry();
    FCaptionsPosted = false;

    RenderThread = new TSpectrum3DRenderThread(this, thread());
    if (Renderer != nullptr)
        Renderer->MoveToThread(RenderThread);
    RenderThread->start();
}

void TSpectrum3D::StopRendering()
{
    if (RenderThread == nullptr)
        return;
    RenderThread->requestInterruption();
    // A frame may be waiting for a box: serve it while waiting, or this
    // would wait for a thread that waits for this one.
    while (!RenderThread->wait(QDeadlineTimer(2))) {
        ServeBoxRequest();
        ReleaseFrameWaitingForShownBox();
    }
    TSpectrum3DRenderThread *gone = RenderThread;
    RenderThread = nullptr;
    delete gone;
    // No frame runs now: handlers replaced meanwhile can go.
    FBeforeD3DRender.FreeRetired();
    FAfterD3DRender.FreeRetired();
    FOnNeedFFTData.FreeRetired();
}

// ---- boxes ------------------------------------------------------------------

void TSpectrum3D::ShowBox(QMessageBox::Icon aKind, const QString &aText)
{
    if (const TBoxHook &hook = BoxHook()) {
        hook(this, aKind, aText);
        return;
    }
    QMessageBox box(aKind, aKind == QMessageBox::Critical ? QStringLiteral("Error") : QStringLiteral("Warning"),
                    aText, QMessageBox::Ok);
    box.exec();
}

void TSpectrum3D::ReportBox(QMessageBox::Icon aKind, const char *aText)
{
    if (bSuppressErrors.load(kRelaxed))
        return;
    if (QThread::currentThread() == thread()) {
        ShowBox(aKind, QString::fromUtf8(aText));
        return;
    }
    std::unique_lock<std::mutex> lock(FMailbox.lock);
    FMailbox.boxText = aText;
    FMailbox.boxKind = aKind;
    FMailbox.frameWaiting = true;
    const std::uint64_t ticket = FMailbox.boxesDone;
    lock.unlock();
    QMetaObject::invokeMethod(this, "ServeBoxRequest", Qt::QueuedConnection);
    lock.lock();
    FMailbox.answered.wait(lock, [&] { return FMailbox.boxesDone != ticket; });
}

void TSpectrum3D::ServeBoxRequest()
{
    std::unique_lock<std::mutex> lock(FMailbox.lock);
    if (FMailbox.boxText == nullptr || FMailbox.boxShowing)
        return;
    const char *text = FMailbox.boxText;
    const QMessageBox::Icon kind = FMailbox.boxKind;
    FMailbox.boxText = nullptr;
    FMailbox.boxShowing = true;
    lock.unlock();
    ShowBox(kind, QString::fromUtf8(text));
    lock.lock();
    FMailbox.boxShowing = false;
    if (FMailbox.frameWaiting) {
        FMailbox.frameWaiting = false;
        ++FMailbox.boxesDone;
    }
    lock.unlock();
    FMailbox.answered.notify_all();
}

void TSpectrum3D::ReleaseFrameWaitingForShownBox()
{
    std::unique_lock<std::mutex> lock(FMailbox.lock);
    if (!FMailbox.boxShowing || !FMailbox.frameWaiting)
        return;
    FMailbox.boxText = nullptr;
    FMailbox.frameWaiting = false;
    ++FMailbox.boxesDone;
    lock.unlock();
    FMailbox.answered.notify_all();
}

// ---- grid -------------------------------------------------------------------

void TSpectrum3D::InitGridVertexes(GLuint &Buffer) { BuildGrid(Buffer, false); }

void TSpectrum3D::InitGradientGridVertexes(GLuint &Buffer) { BuildGrid(Buffer, true); }

void TSpectrum3D::BuildGrid(GLuint &Buffer, bool aGradient)
{
    // Zero-filled, so that a failed write uploads no stray values.
    TColorVertex *staging = TSpectrum3DFaults::Take(TSpectrum3DFaults::GridStagingAlloc)
                                ? nullptr
                                : new (std::nothrow) TColorVertex[kGridVertexCount]();
    if (staging == nullptr) {
        ReportBox(QMessageBox::Warning, kGridAllocError);
        return;
    }
    try {
        if (TSpectrum3DFaults::Take(TSpectrum3DFaults::GridWrite))
            throw std::runtime_error("grid write");
        const TGridVertexes &grid = GridVertexesFor(aGradient);
        std::copy(grid.begin(), grid.end(), staging);
    } catch (...) {
        ReportBox(QMessageBox::Warning, kGridWriteError);
    }
    Renderer->ReleaseVertexBuffer(Buffer);
    const HRESULT result = TSpectrum3DFaults::Take(TSpectrum3DFaults::GridCreate)
                               ? E_FAIL
                               : Renderer->CreateVertexBuffer(Buffer, staging, kGridVertexCount, false);
    if (Failed(result)) {
        Buffer = 0;
        ReportBox(QMessageBox::Warning, kGridCreateError);
    }
    delete[] staging;
}

// ---- frames (render thread; once on the window thread in D3DInit) -----------

std::int32_t TSpectrum3D::FetchTrampoline(void *aContext, float *aData, std::int32_t aCount)
{
    auto *self = static_cast<TSpectrum3D *>(aContext);
    const TSpectrum3DOnNeedFFTData *handler = self->FOnNeedFFTData.Get();
    return handler != nullptr ? (*handler)(self, aData, aCount) : 0;
}

void TSpectrum3D::UpdateFFTVertexes(GLuint &Buffer, std::uint32_t aChannel)
{
    if (PFFTVertexes == nullptr)
        return;
    float block[kValueBlockSize];
    THostFFTSources host;
    if (FOnNeedFFTData.Get() != nullptr) {
        host.event = &TSpectrum3D::FetchTrampoline;
        host.eventContext = this;
    }
    host.callback = CallbackOnNeedFFTData.load(kRelaxed);
    host.display = this;
    // FetchFFTData zero-fills the block first and keeps FFTSize within it.
    const TFetchResult fetched =
        FetchFFTData(Spectrum3DBinding(), host, aChannel, FFTSize.load(kRelaxed), TValueBlock(block));
    if (fetched.exceptionRaised)
        ReportBox(QMessageBox::Warning, kFetchExceptionError);
    if (fetched.outcome == TFetchOutcome::NoNewData)
        return;

    const int skipped = ConvertFFTValues(TConstValueBlock(block), GFXAmplitude.load(kRelaxed),
                                         TSpectrumStaging(PFFTVertexes, kSpectrumVertexCount));
    for (int i = 0; i < skipped; ++i)
        ReportBox(QMessageBox::Warning, kCreateFFTVertexesError);

    if (Renderer == nullptr)
        return;
    if (Buffer != 0) {
        // A failed update keeps the previous curve, silently.
        Renderer->UpdateVertexBuffer(Buffer, PFFTVertexes, kSpectrumVertexCount);
        return;
    }
    const HRESULT result = TSpectrum3DFaults::Take(TSpectrum3DFaults::FFTCreate)
                               ? E_FAIL
                               : Renderer->CreateVertexBuffer(Buffer, PFFTVertexes, kSpectrumVertexCount, true);
    if (Failed(result)) {
        Buffer = 0;
        ReportBox(QMessageBox::Warning, kFFTCreateError);
    }
}

void TSpectrum3D::SetGridMatrices()
{
    const TViewMatrices m = GridMatrices();
    matWorld = m.World;
    Renderer->Shader()->SetMatrices(Renderer->DeviceContext(), matWorld, m.View, m.Projection);
}

void TSpectrum3D::SetSpectrumMatrices(double aZoom, double aScroll)
{
    const TViewMatrices m = SpectrumMatrices(aZoom, aScroll);
    matWorld = m.World;
    Renderer->Shader()->SetMatrices(Renderer->DeviceContext(), matWorld, m.View, m.Projection);
}

void TSpectrum3D::Render()
{
    TDXRenderer *const renderer = Renderer;
    if (renderer == nullptr || renderer->Device() == nullptr || renderer->DeviceContext() == nullptr)
        return;
    Rendering.store(true, kRelaxed);
    // Outside the frame's handler: an error here ends the render thread.
    if (const TSpectrum3DBeforeD3DRender *before = FBeforeD3DRender.Get())
        (*before)(this);
    try {
        // One reading of zoom and scroll serves the whole frame.
        const double zoom = GFXZoom.load(kRelaxed);
        const double scroll = GFXScroll.load(kRelaxed);
        renderer->Clear({0.0f, 0.0f, 0.0f, 1.0f});

        renderer->SetVertexBuffer(VertexBuffer_Grid);
        renderer->SetPrimitiveTopology(TPrimitiveTopology::LineList);
        SetGridMatrices();
        renderer->Draw(static_cast<std::int32_t>(kGridVertexCount), 0);

        UpdateFFTVertexes(VertexBuffer_FFT, Channel.load(kRelaxed));

        renderer->SetVertexBuffer(VertexBuffer_FFT);
        renderer->SetPrimitiveTopology(TPrimitiveTopology::LineStrip);
        SetSpectrumMatrices(zoom, scroll);
        const TVisibleWindow window = VisibleWindow(zoom, scroll); // zoom 0 fails the frame here
        renderer->Draw(window.count, window.start);
        renderer->Present();

        if (FShowText.load(kRelaxed)) {
            try {
                UpdateCaptions(zoom, scroll);
            } catch (...) {
                ReportBox(QMessageBox::Critical, kRenderingTextError);
            }
        }
        if (const TSpectrum3DAfterD3DRender *after = FAfterD3DRender.Get())
            (*after)(this);
        Rendering.store(false, kRelaxed);
    } catch (...) {
        Rendering.store(false, kRelaxed);
        ReportBox(QMessageBox::Critical, kRenderingFrameError);
    }
}

// Texts and the places that need no label, computed here; posted to the
// window thread only when something changed since the last post, so that
// a frame with unchanged captions allocates nothing.
void TSpectrum3D::UpdateCaptions(double aZoom, double aScroll)
{
    TCaptionPost &c = FScratchCaptions;
    const int32_t width = FPanelWidth.load(kRelaxed);
    const int32_t height = FPanelHeight.load(kRelaxed);
    const int32_t points = FFontPoints.load(kRelaxed);
    const double amplitude = GFXAmplitude.load(kRelaxed);
    const TNumberSeparators sep{FDecimalSep, FGroupSep};

    const int64_t rate =
        CaptionSampleRate(Spectrum3DBinding(), FCustomSampleRate.load(kRelaxed), Channel.load(kRelaxed));
    FrequencyCaptionTexts(rate, aZoom, aScroll, sep, c.freq);
    LevelCaptionTexts(amplitude, sep, c.level);
    for (int i = 0; i < kLevelCaptionCount; ++i)
        c.levelTop[static_cast<std::size_t>(i)] = LevelCaptionTop(i, height, points, amplitude);
    c.panelWidth = width;
    c.panelLeft = FPanelLeft.load(kRelaxed);

    if (FCaptionsPosted && c == FLastCaptions)
        return;
    FLastCaptions = c;
    FCaptionsPosted = true;
    {
        std::lock_guard<std::mutex> lock(FMailbox.lock);
        FMailbox.captions = c;
        FMailbox.captionsFresh = true;
    }
    if (!FCaptionPostPending.exchange(true, kRelaxed))
        QMetaObject::invokeMethod(this, "ApplyCaptions", Qt::QueuedConnection);
}

void TSpectrum3D::ApplyCaptions()
{
    FCaptionPostPending.store(false, kRelaxed);
    TCaptionPost c;
    {
        std::lock_guard<std::mutex> lock(FMailbox.lock);
        if (!FMailbox.captionsFresh)
            return;
        c = FMailbox.captions;
        FMailbox.captionsFresh = false;
    }
    // FCaptionFreq1 ... 6, then FCaptionLevel1 ... 5: text first, then place.
    for (int i = 0; i < kFreqCaptionCount; ++i) {
        QLabel *label = FCaptionFreq[static_cast<std::size_t>(i)];
        if (label == nullptr)
            continue;
        const auto text = c.freq[static_cast<std::size_t>(i)].view();
        label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        label->adjustSize();
        label->move(FrequencyCaptionLeft(i, c.panelWidth, label->width(), c.panelLeft), label->y());
    }
    for (int i = 0; i < kLevelCaptionCount; ++i) {
        QLabel *label = FCaptionLevel[static_cast<std::size_t>(i)];
        if (label == nullptr)
            continue;
        const auto text = c.level[static_cast<std::size_t>(i)].view();
        label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        label->adjustSize();
        label->move(label->x(), c.levelTop[static_cast<std::size_t>(i)]);
    }
}

} // namespace hg
