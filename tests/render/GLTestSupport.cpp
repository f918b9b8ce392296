// Helpers of the drawing layer's GL tests (see GLTestSupport.h).
#include "GLTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace hgtest {

std::unique_ptr<QWindow> MakeWindow(int aWidth, int aHeight)
{
    auto window = std::make_unique<QWindow>();
    window->setSurfaceType(QSurface::OpenGLSurface);
    window->resize(aWidth, aHeight);
    return window;
}

bool ShowAndWait(QWindow &aWindow)
{
    aWindow.show();
    QElapsedTimer timer;
    timer.start();
    while (!aWindow.isExposed() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return aWindow.isExposed();
}

std::vector<TPixel> ReadPixels(QOpenGLFunctions_3_3_Core *gl, int aWidth, int aHeight)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(aWidth) * aHeight * 4);
    gl->glFinish();
    gl->glReadBuffer(GL_BACK);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, aWidth, aHeight, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    std::vector<TPixel> pixels(static_cast<std::size_t>(aWidth) * aHeight);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = {bytes[i * 4], bytes[i * 4 + 1], bytes[i * 4 + 2], bytes[i * 4 + 3]};
    return pixels;
}

TPixel PixelAt(const std::vector<TPixel> &aPixels, int aWidth, int x, int y)
{
    return aPixels[static_cast<std::size_t>(y) * aWidth + x];
}

bool Lit(const TPixel &p) { return p.r + p.g + p.b > 0; }

std::vector<float> ReadBufferFloats(QOpenGLFunctions_3_3_Core *gl, GLuint aBuffer, int aFloats)
{
    std::vector<float> out(static_cast<std::size_t>(aFloats));
    gl->glBindBuffer(GL_COPY_READ_BUFFER, aBuffer);
    gl->glGetBufferSubData(GL_COPY_READ_BUFFER, 0, aFloats * 4, out.data());
    gl->glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return out;
}

std::vector<std::pair<int, GLuint>> LiveObjects(QOpenGLFunctions_3_3_Core *gl, GLuint aLimit)
{
    std::vector<std::pair<int, GLuint>> live;
    for (GLuint name = 1; name <= aLimit; ++name) {
        if (gl->glIsShader(name))
            live.emplace_back(0, name);
        if (gl->glIsProgram(name))
            live.emplace_back(1, name);
        if (gl->glIsBuffer(name))
            live.emplace_back(2, name);
        if (gl->glIsVertexArray(name))
            live.emplace_back(3, name);
    }
    return live;
}

} // namespace hgtest
