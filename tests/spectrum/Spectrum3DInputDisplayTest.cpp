// The input forwarding on a real display (TSpectrum3D) in a host widget on
// the private X display: the picture's rows before the first device, the
// drawing surface's rows once the display runs, and the wheel on its way
// up to the host.
#include "DisplayTestSupport.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using hg::TSpectrum3D;
using namespace hgtest;

namespace {

struct TCall {
    std::string event;
    QObject *sender = nullptr;
    int32_t x = 0, y = 0;
    int value = 0; // button, wheel delta or key code
    bool operator==(const TCall &) const = default;
};

std::ostream &operator<<(std::ostream &os, const TCall &c)
{
    return os << c.event << "(sender " << c.sender << ", " << c.x << ", " << c.y << ", value " << c.value << ")";
}

struct THost : QWidget {
    std::vector<int> wheelDeltas;
    void wheelEvent(QWheelEvent *e) override
    {
        wheelDeltas.push_back(e->angleDelta().y());
        e->accept();
    }
};

template <class Target> void Mouse(Target *target, QEvent::Type type, Qt::MouseButton button, QPointF local)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent e(type, local, target->mapToGlobal(local), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

template <class Target> void Wheel(Target *target, QPointF local, int delta)
{
    QWheelEvent e(local, target->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &e);
}

TEST(Spectrum3DInputOnDisplay, ForwardsFromThePictureAndThenFromTheDrawingSurface)
{
    THost host;
    host.setGeometry(40, 40, 600, 420);
    auto *display = new TSpectrum3D(&host);
    display->setGeometry(16, 96, 514, 297);
    std::vector<TCall> calls;
    hg::TSpectrum3DInputEvents &events = display->InputEvents();
    events.FOnMouseDown = [&](QObject *s, hg::TMouseButton b, int32_t x, int32_t y) {
        calls.push_back({"MouseDown", s, x, y, b});
    };
    events.FOnMouseUp = [&](QObject *s, hg::TMouseButton b, int32_t x, int32_t y) {
        calls.push_back({"MouseUp", s, x, y, b});
    };
    events.FOnMouseWheel = [&](QObject *s, int16_t &d) {
        calls.push_back({"MouseWheel", s, 0, 0, d});
        d = static_cast<int16_t>(d / 2);
    };
    events.FOnKeyDown = [&](QObject *s, uint16_t &c) { calls.push_back({"KeyDown", s, 0, 0, c}); };
    hg::TPanelSpectrum *inner = display->PanelSpectrum;
    QWidget *picture = inner->Picture();

    // Before the first device the picture covers the inner panel.
    ASSERT_TRUE(display->Panel3DPictureVisible());
    Mouse(picture, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    Mouse(picture, QEvent::MouseButtonRelease, Qt::LeftButton, QPointF(0, 0));
    const std::vector<TCall> before = {{"MouseDown", display, 0, 0, hg::mbLeft},
                                       {"MouseUp", display, 0, 0, hg::mbLeft}};
    EXPECT_EQ(calls, before);

    host.show();
    QWindow *surface = inner->Surface();
    ASSERT_TRUE(WaitUntil([&] { return !display->Panel3DPictureVisible() && surface->isExposed(); }))
        << "the display did not start on the private X display";
    // The native windows' positions come back from the X server as events,
    // which real input follows in the same queue; the events sent below do
    // not wait for them, so the test does.
    ASSERT_TRUE(WaitUntil([&] { return surface->mapToGlobal(QPoint(0, 0)) == inner->mapToGlobal(QPoint(0, 0)); }))
        << "the surface never reached its place in the inner panel";

    // Running: the surface receives the pointer; its positions are the
    // inner panel's (the surface fills it).
    calls.clear();
    Mouse(surface, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    Mouse(surface, QEvent::MouseButtonRelease, Qt::LeftButton, QPointF(0, 0));
    Mouse(surface, QEvent::MouseButtonPress, Qt::RightButton, QPointF(100, 50));
    Wheel(surface, QPointF(100, 50), 120);
    const std::vector<TCall> running = {
        {"MouseDown", &host, 0, 0, hg::mbLeft},
        {"MouseUp", display, 0, 0, hg::mbLeft},
        {"MouseDown", &host, 100, 50, hg::mbRight},
        {"MouseWheel", &host, 0, 0, 120},
        {"MouseWheel", display, 0, 0, 60},
    };
    EXPECT_EQ(calls, running);
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{30});

    // The caption margin: the display's own wheel row only.
    calls.clear();
    Wheel(display, QPointF(10, 100), -240);
    EXPECT_EQ(calls, (std::vector<TCall>{{"MouseWheel", display, 0, 0, -240}}));
    // A key sent to the picture directly still raises OnKeyDown.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(picture, &key);
    EXPECT_EQ(calls.back(), (TCall{"KeyDown", inner, 0, 0, 0x1B}));
}

} // namespace
