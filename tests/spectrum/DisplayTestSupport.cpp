// Helpers of the spectrum display's tests (see DisplayTestSupport.h).
#include "DisplayTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLFunctions_3_3_Core>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace hgtest {

std::unique_ptr<hg::TSpectrum3D> ShowDisplay(int aWidth, int aHeight,
                                             const std::function<void(hg::TSpectrum3D &)> &aBeforeShow)
{
    auto display = std::make_unique<hg::TSpectrum3D>();
    display->setGeometry(40, 40, aWidth, aHeight);
    if (aBeforeShow)
        aBeforeShow(*display);
    display->show();
    WaitUntil([&] { return display->PanelSpectrum->Surface()->isExposed(); }, 3000);
    return display;
}

bool WaitUntil(const std::function<bool()> &aDone, int aTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!aDone()) {
        if (timer.elapsed() > aTimeoutMs)
            return aDone();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

TBoxRecorder::TBoxRecorder()
{
    hg::TSpectrum3D::SetBoxHook([this](hg::TSpectrum3D *, QMessageBox::Icon kind, const QString &text) {
        boxes.push_back({kind, text});
    });
}

TBoxRecorder::~TBoxRecorder() { hg::TSpectrum3D::SetBoxHook({}); }

std::vector<std::string> TBoxRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const TBox &b : boxes)
        texts.push_back(b.text.toStdString());
    return texts;
}

QImage GrabSurface(hg::TSpectrum3D &aDisplay)
{
    QWindow *surface = aDisplay.PanelSpectrum->Surface();
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(surface->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

TRgb PixelAt(const QImage &aImage, int x, int y)
{
    const QRgb p = aImage.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

bool Lit(const TRgb &p, int aThreshold) { return p.r > aThreshold || p.g > aThreshold || p.b > aThreshold; }

TPoint2 ProjectToPanel(const hg::TViewMatrices &m, float x, float y, float z, int aWidth, int aHeight)
{
    // Row vector times world, view, projection.
    double v[4] = {x, y, z, 1.0};
    for (const _D3DMATRIX *mat : {&m.World, &m.View, &m.Projection}) {
        double out[4] = {0, 0, 0, 0};
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                out[c] += v[r] * mat->m[r][c];
        for (int c = 0; c < 4; ++c)
            v[c] = out[c];
    }
    const double ndcX = v[0] / v[3], ndcY = v[1] / v[3];
    return {(ndcX + 1.0) / 2.0 * aWidth, (1.0 - ndcY) / 2.0 * aHeight};
}

std::vector<TColorVertex> ReadVertexBuffer(hg::TSpectrum3D &aDisplay, GLuint aBuffer, int aCount)
{
    std::vector<TColorVertex> out(static_cast<std::size_t>(aCount));
    TDXRenderer *renderer = aDisplay.Renderer;
    if (renderer == nullptr || aBuffer == 0 || !renderer->MakeCurrent())
        return {};
    QOpenGLFunctions_3_3_Core *gl = renderer->DeviceContext();
    gl->glBindBuffer(GL_ARRAY_BUFFER, aBuffer);
    GLint size = 0;
    gl->glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    if (size != aCount * static_cast<GLint>(sizeof(TColorVertex))) {
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        return {};
    }
    gl->glGetBufferSubData(GL_ARRAY_BUFFER, 0, size, out.data());
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    return out;
}

} // namespace hgtest
