// Tests of the spectrum display's input forwarding through Qt's events, on
// stand-in widgets laid out like the display: a host widget holding a frame
// (the display) holding an inner frame (the inner panel) covered by a label
// (the picture), and a window embedded in the inner panel (the drawing
// surface). Synthetic events are sent as Qt delivers them; Qt's offscreen
// platform, so no display is needed.
#include "Spectrum3DInput.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace hg {
namespace {

QApplication &App()
{
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "hg_spectrum_input_test";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Records what reaches a widget's own handlers (the ordinary handling, and
// what travels on to the parents).
template <class Base> struct TRecording : Base {
    using Base::Base;
    std::vector<std::string> own;
    std::vector<int> wheelDeltas;
    void mousePressEvent(QMouseEvent *e) override { own.push_back("press"); Base::mousePressEvent(e); }
    void mouseReleaseEvent(QMouseEvent *e) override { own.push_back("release"); Base::mouseReleaseEvent(e); }
    void mouseDoubleClickEvent(QMouseEvent *e) override { own.push_back("dblclick"); Base::mouseDoubleClickEvent(e); }
    void mouseMoveEvent(QMouseEvent *e) override { own.push_back("move"); Base::mouseMoveEvent(e); }
    void keyPressEvent(QKeyEvent *e) override { own.push_back("key"); Base::keyPressEvent(e); }
    void wheelEvent(QWheelEvent *e) override
    {
        own.push_back("wheel");
        wheelDeltas.push_back(e->angleDelta().y());
        Base::wheelEvent(e);
    }
};

struct TCall {
    std::string event;
    QObject *sender = nullptr;
    int button = -1;
    int32_t x = 0, y = 0;
    int value = 0; // wheel delta or key code
    bool operator==(const TCall &) const = default;
};

std::ostream &operator<<(std::ostream &os, const TCall &c)
{
    return os << c.event << "(sender " << c.sender << ", button " << c.button << ", " << c.x << ", " << c.y
              << ", value " << c.value << ")";
}

struct TForwardingFixture : ::testing::Test {
    TForwardingFixture()
    {
        host.resize(600, 420);
        display = new TRecording<QFrame>(&host);
        display->setGeometry(16, 96, 514, 297);
        inner = new TRecording<QFrame>(display);
        inner->setGeometry(56, 1, 457, 277);
        surface = new QWindow;
        container = QWidget::createWindowContainer(surface, inner);
        container->setGeometry(10, 20, 300, 200); // off the corner, to see the mapping
        container->hide();
        picture = new TRecording<QLabel>(inner);
        picture->setGeometry(0, 0, 457, 277);
        picture->raise();
        host.show();
        forwarding = InstallSpectrum3DInput(display, inner, surface, picture, &events);
    }

    void AssignAll()
    {
        events.FOnMouseDown = [this](QObject *s, TMouseButton b, int32_t x, int32_t y) {
            calls.push_back({"MouseDown", s, b, x, y});
        };
        events.FOnMouseUp = [this](QObject *s, TMouseButton b, int32_t x, int32_t y) {
            calls.push_back({"MouseUp", s, b, x, y});
        };
        events.FOnMouseMove = [this](QObject *s, int32_t x, int32_t y) { calls.push_back({"MouseMove", s, -1, x, y}); };
        events.FOnDblClick = [this](QObject *s, int32_t x, int32_t y) { calls.push_back({"DblClick", s, -1, x, y}); };
        events.FOnMouseWheel = [this](QObject *s, int16_t &d) { calls.push_back({"MouseWheel", s, -1, 0, 0, d}); };
        events.FOnKeyDown = [this](QObject *s, uint16_t &c) { calls.push_back({"KeyDown", s, -1, 0, 0, c}); };
    }

    // Sends a mouse event to a widget or window; returns whether it ended
    // accepted.
    template <class Target>
    bool Mouse(Target *target, QEvent::Type type, Qt::MouseButton button, QPointF local,
               Qt::MouseButtons held = Qt::NoButton)
    {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            held |= button;
        QMouseEvent e(type, local, target->mapToGlobal(local), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
        return e.isAccepted();
    }

    template <class Target> void Wheel(Target *target, QPointF local, QPoint angle)
    {
        QWheelEvent e(local, target->mapToGlobal(local), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &e);
    }

    bool Key(QObject *target, QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent e(type, key, mods);
        QCoreApplication::sendEvent(target, &e);
        return e.isAccepted();
    }

    // The control under a point of the display, as Qt picks the receiver.
    QWidget *At(QPoint inDisplay) { return display->childAt(inDisplay); }

    QApplication &app = App(); // before any widget
    TRecording<QWidget> host;
    TRecording<QFrame> *display = nullptr;
    TRecording<QFrame> *inner = nullptr;
    TRecording<QLabel> *picture = nullptr;
    QWindow *surface = nullptr;
    QWidget *container = nullptr;
    TSpectrum3DInputEvents events;
    std::unique_ptr<TSpectrum3DInputForwarding> forwarding;
    std::vector<TCall> calls;
};

struct TMouseRow {
    QEvent::Type type;
    Qt::MouseButton button;
    const char *event; // nullptr: not forwarded
    int sender;        // 0 host (display's parent), 1 display, 2 inner panel
    int tbutton;
};

QObject *SenderOf(int role, TForwardingFixture &f)
{
    return role == 0 ? static_cast<QObject *>(&f.host) : role == 1 ? static_cast<QObject *>(f.display) : f.inner;
}

void CheckRows(TForwardingFixture &f, QWidget *receiver, const std::vector<TMouseRow> &rows)
{
    for (const TMouseRow &row : rows) {
        SCOPED_TRACE(std::string("event type ") + std::to_string(row.type) + " button " +
                     std::to_string(row.button));
        f.calls.clear();
        f.host.own.clear();
        f.display->own.clear();
        f.inner->own.clear();
        f.picture->own.clear();
        const bool accepted = f.Mouse(receiver, row.type, row.button, QPointF(5.25, 6.75));
        if (row.event == nullptr) {
            EXPECT_TRUE(f.calls.empty());
            // The ordinary handling: the receiver's own handler ran, and Qt
            // took the unaccepted event on up to the host.
            auto &own = receiver == f.picture ? f.picture->own : f.inner->own;
            EXPECT_FALSE(own.empty());
            EXPECT_FALSE(f.host.own.empty());
            continue;
        }
        ASSERT_EQ(f.calls.size(), 1u);
        const TCall want{row.event, SenderOf(row.sender, f), row.tbutton, 5, 6, 0};
        EXPECT_EQ(f.calls[0], want);
        // Forwarded: consumed, no own handler, nothing reaches the parents.
        EXPECT_TRUE(accepted);
        EXPECT_TRUE(f.inner->own.empty());
        EXPECT_TRUE(f.picture->own.empty());
        EXPECT_TRUE(f.display->own.empty());
        EXPECT_TRUE(f.host.own.empty());
    }
}

TEST_F(TForwardingFixture, InnerPanelRows)
{
    AssignAll();
    picture->hide();
    CheckRows(*this, inner,
              {
                  {QEvent::MouseMove, Qt::NoButton, "MouseMove", 0, -1},
                  {QEvent::MouseButtonPress, Qt::LeftButton, "MouseDown", 0, mbLeft},
                  {QEvent::MouseButtonRelease, Qt::LeftButton, "MouseUp", 1, mbLeft},
                  {QEvent::MouseButtonDblClick, Qt::LeftButton, "DblClick", 1, -1},
                  {QEvent::MouseButtonPress, Qt::RightButton, "MouseDown", 0, mbRight},
                  {QEvent::MouseButtonRelease, Qt::RightButton, "MouseUp", 1, mbRight},
                  {QEvent::MouseButtonPress, Qt::MiddleButton, "MouseDown", 0, mbMiddle},
                  {QEvent::MouseButtonRelease, Qt::MiddleButton, nullptr, 0, -1},
                  {QEvent::MouseButtonDblClick, Qt::RightButton, nullptr, 0, -1},
                  {QEvent::MouseButtonDblClick, Qt::MiddleButton, nullptr, 0, -1},
                  {QEvent::MouseButtonPress, Qt::BackButton, nullptr, 0, -1},
              });
}

TEST_F(TForwardingFixture, PictureRows)
{
    AssignAll();
    CheckRows(*this, picture,
              {
                  {QEvent::MouseMove, Qt::NoButton, "MouseMove", 1, -1},
                  {QEvent::MouseButtonPress, Qt::LeftButton, "MouseDown", 1, mbLeft},
                  {QEvent::MouseButtonRelease, Qt::LeftButton, "MouseUp", 1, mbLeft},
                  {QEvent::MouseButtonDblClick, Qt::LeftButton, "DblClick", 1, -1},
                  {QEvent::MouseButtonPress, Qt::RightButton, "MouseDown", 2, mbRight},
                  {QEvent::MouseButtonRelease, Qt::RightButton, "MouseUp", 2, mbRight},
                  {QEvent::MouseButtonPress, Qt::MiddleButton, "MouseDown", 2, mbMiddle},
                  {QEvent::MouseButtonRelease, Qt::MiddleButton, nullptr, 0, -1},
                  {QEvent::MouseButtonDblClick, Qt::RightButton, nullptr, 0, -1},
                  {QEvent::MouseButtonDblClick, Qt::MiddleButton, nullptr, 0, -1},
              });
}

TEST_F(TForwardingFixture, ClickSenderChangesOnceThePictureIsHidden)
{
    AssignAll();
    const QPoint p(56 + 10, 1 + 12); // 10, 12 inside the inner panel
    auto click = [&](Qt::MouseButton b) {
        QWidget *target = At(p);
        const QPointF local = target->mapFrom(display, QPointF(p));
        Mouse(target, QEvent::MouseButtonPress, b, local);
        Mouse(target, QEvent::MouseButtonRelease, b, local);
        return target;
    };
    EXPECT_EQ(click(Qt::LeftButton), picture);
    EXPECT_EQ(click(Qt::RightButton), picture);
    picture->hide();
    EXPECT_EQ(click(Qt::LeftButton), inner);
    const std::vector<TCall> want = {
        {"MouseDown", display, mbLeft, 10, 12}, {"MouseUp", display, mbLeft, 10, 12},
        {"MouseDown", inner, mbRight, 10, 12},  {"MouseUp", inner, mbRight, 10, 12},
        {"MouseDown", &host, mbLeft, 10, 12},   {"MouseUp", display, mbLeft, 10, 12},
    };
    EXPECT_EQ(calls, want);
}

TEST_F(TForwardingFixture, CaptionMarginsRaiseNoMouseEvents)
{
    AssignAll();
    const QPoint margin(20, 100); // left of the inner panel, on the level captions
    ASSERT_EQ(At(margin), nullptr);
    Mouse(display, QEvent::MouseMove, Qt::NoButton, margin, Qt::LeftButton);
    Mouse(display, QEvent::MouseButtonPress, Qt::LeftButton, margin);
    Mouse(display, QEvent::MouseButtonRelease, Qt::LeftButton, margin);
    EXPECT_TRUE(calls.empty());
    // The display's ordinary handling ran and passed the clicks on.
    EXPECT_EQ(display->own.size(), 3u);
}

TEST_F(TForwardingFixture, PositionsStartAtTheInnerPanelCornerAndKeepTheirSign)
{
    AssignAll();
    Mouse(picture, QEvent::MouseMove, Qt::NoButton, QPointF(0, 0));
    picture->hide();
    Mouse(inner, QEvent::MouseMove, Qt::NoButton, QPointF(0.9, 0.4));
    // A drag that leaves the panel up and to the left, and one that goes
    // past the 16-bit range, which holds at its end rather than wrapping.
    Mouse(inner, QEvent::MouseMove, Qt::NoButton, QPointF(-3.5, -7), Qt::LeftButton);
    Mouse(inner, QEvent::MouseMove, Qt::NoButton, QPointF(40000, -40000), Qt::LeftButton);
    const std::vector<TCall> want = {
        {"MouseMove", display, -1, 0, 0},
        {"MouseMove", &host, -1, 0, 0},
        {"MouseMove", &host, -1, -4, -7},
        {"MouseMove", &host, -1, 32767, -32768},
    };
    EXPECT_EQ(calls, want);
}

TEST_F(TForwardingFixture, WheelOnTheInnerPanelIsRaisedTwiceAndTravelsOnToTheHost)
{
    AssignAll();
    events.FOnMouseWheel = [this](QObject *s, int16_t &d) {
        calls.push_back({"MouseWheel", s, -1, 0, 0, d});
        if (s == &host)
            d = 30; // the first handler turns the notch into a quarter
    };
    picture->hide();
    Wheel(inner, QPointF(20, 20), QPoint(0, -120));
    const std::vector<TCall> want = {
        {"MouseWheel", &host, -1, 0, 0, -120},
        {"MouseWheel", display, -1, 0, 0, 30},
    };
    EXPECT_EQ(calls, want);
    // Neither control ran its own wheel handler; the host got the event
    // with the delta as the handlers left it.
    EXPECT_TRUE(inner->own.empty());
    EXPECT_TRUE(display->own.empty());
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{30});
}

TEST_F(TForwardingFixture, WheelOnTheCaptionMarginsIsRaisedOnceByTheDisplay)
{
    AssignAll();
    Wheel(display, QPointF(20, 100), QPoint(0, 240));
    EXPECT_EQ(calls, (std::vector<TCall>{{"MouseWheel", display, -1, 0, 0, 240}}));
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{240});
}

// The picture's default handling also hands the wheel to its parent, the
// inner panel, which raises the event once more on the way up.
TEST_F(TForwardingFixture, WheelOnThePictureTravelsThroughTheInnerPanel)
{
    AssignAll();
    Wheel(picture, QPointF(20, 20), QPoint(0, 120));
    const std::vector<TCall> want = {
        {"MouseWheel", inner, -1, 0, 0, 120},
        {"MouseWheel", &host, -1, 0, 0, 120},
        {"MouseWheel", display, -1, 0, 0, 120},
    };
    EXPECT_EQ(calls, want);
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{120});
}

TEST_F(TForwardingFixture, HorizontalWheelIsNotForwarded)
{
    AssignAll();
    picture->hide();
    Wheel(inner, QPointF(20, 20), QPoint(120, 0));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(inner->wheelDeltas, std::vector<int>{0}); // its ordinary handling
}

TEST_F(TForwardingFixture, ThrowingHandlerStopsThatEventAndTheNextOneIsHandled)
{
    AssignAll();
    int wheels = 0;
    events.FOnMouseWheel = [&](QObject *s, int16_t &d) {
        calls.push_back({"MouseWheel", s, -1, 0, 0, d});
        if (wheels++ == 0)
            throw std::runtime_error("host handler failed");
    };
    picture->hide();
    Wheel(inner, QPointF(20, 20), QPoint(0, 120));
    EXPECT_EQ(calls.size(), 1u); // the display did not raise it again
    EXPECT_TRUE(host.wheelDeltas.empty());
    Wheel(inner, QPointF(20, 20), QPoint(0, 120));
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{120});

    // Mouse and key handlers that throw: nothing escapes, the next event
    // raises as usual.
    calls.clear();
    bool failPress = true;
    events.FOnMouseDown = [&](QObject *s, TMouseButton b, int32_t x, int32_t y) {
        calls.push_back({"MouseDown", s, b, x, y});
        if (failPress)
            throw 7;
    };
    EXPECT_TRUE(Mouse(inner, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 2)));
    failPress = false;
    EXPECT_TRUE(Mouse(inner, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(3, 4)));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(inner->own.empty());
    EXPECT_EQ(host.own, std::vector<std::string>{"wheel"}); // the second wheel only
    events.FOnKeyDown = [](QObject *, uint16_t &) { throw std::logic_error("no"); };
    EXPECT_TRUE(Key(picture, QEvent::KeyPress, Qt::Key_A));
    EXPECT_TRUE(picture->own.empty());
}

TEST_F(TForwardingFixture, WithNoEventAssignedTheDefaultHandlingHappens)
{
    picture->hide();
    Wheel(inner, QPointF(20, 20), QPoint(0, -360));
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{-360});
    EXPECT_TRUE(Mouse(inner, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 2)));
    EXPECT_TRUE(Mouse(inner, QEvent::MouseMove, Qt::NoButton, QPointF(1, 2)));
    EXPECT_TRUE(inner->own.empty());
    picture->show();
    EXPECT_TRUE(Key(picture, QEvent::KeyPress, Qt::Key_Space));
    EXPECT_TRUE(picture->own.empty());
    EXPECT_EQ(host.own, std::vector<std::string>{"wheel"});
}

TEST_F(TForwardingFixture, KeysOnThePictureOnly)
{
    AssignAll();
    events.FOnKeyDown = [this](QObject *s, uint16_t &c) {
        calls.push_back({"KeyDown", s, -1, 0, 0, c});
        c = 0; // a handler may swallow the code; nothing else reads it
    };
    EXPECT_TRUE(Key(picture, QEvent::KeyPress, Qt::Key_A));
    EXPECT_TRUE(Key(picture, QEvent::KeyPress, Qt::Key_5, Qt::KeypadModifier));
    EXPECT_TRUE(Key(picture, QEvent::KeyPress, Qt::Key_F5));
    const std::vector<TCall> want = {
        {"KeyDown", inner, -1, 0, 0, 0x41},
        {"KeyDown", inner, -1, 0, 0, 0x65},
        {"KeyDown", inner, -1, 0, 0, 0x74},
    };
    EXPECT_EQ(calls, want);
    // Key up, keys without a Windows code, and keys that reach the inner
    // panel or the display raise nothing and get their ordinary handling.
    Key(picture, QEvent::KeyRelease, Qt::Key_A);
    Key(picture, QEvent::KeyPress, Qt::Key_VolumeUp);
    Key(inner, QEvent::KeyPress, Qt::Key_B);
    Key(display, QEvent::KeyPress, Qt::Key_C);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(picture->own, std::vector<std::string>{"key"});
    EXPECT_EQ(host.own, (std::vector<std::string>{"key", "key", "key"}));
}

// The drawing surface is the inner panel's window: its events raise the
// inner panel's rows, with positions in the inner panel's client area.
TEST_F(TForwardingFixture, SurfaceEventsAreTheInnerPanelsInItsCoordinates)
{
    AssignAll();
    picture->hide();
    container->show();
    const QPointF corner(0, 0);
    // A double click as a bare window gets it: press, release, a press
    // marked as making the double click, the double click, release.
    struct TDoubleClickPress : QMouseEvent {
        TDoubleClickPress(QPointF local, QPointF global)
            : QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier)
        {
            m_doubleClick = true;
        }
    };
    Mouse(surface, QEvent::MouseMove, Qt::NoButton, QPointF(1, 1));
    Mouse(surface, QEvent::MouseButtonPress, Qt::LeftButton, corner);
    Mouse(surface, QEvent::MouseButtonRelease, Qt::LeftButton, corner);
    TDoubleClickPress second(corner, surface->mapToGlobal(corner));
    ASSERT_TRUE(second.flags() & Qt::MouseEventCreatedDoubleClick);
    QCoreApplication::sendEvent(surface, &second);
    Mouse(surface, QEvent::MouseButtonDblClick, Qt::LeftButton, corner);
    Mouse(surface, QEvent::MouseButtonRelease, Qt::LeftButton, corner);
    Mouse(surface, QEvent::MouseButtonPress, Qt::RightButton, QPointF(-2, 3));
    Mouse(surface, QEvent::MouseButtonRelease, Qt::MiddleButton, corner);
    const std::vector<TCall> want = {
        {"MouseMove", &host, -1, 11, 21},      {"MouseDown", &host, mbLeft, 10, 20},
        {"MouseUp", display, mbLeft, 10, 20},  {"DblClick", display, -1, 10, 20},
        {"MouseUp", display, mbLeft, 10, 20},  {"MouseDown", &host, mbRight, 8, 23},
    };
    EXPECT_EQ(calls, want);
    EXPECT_TRUE(inner->own.empty());
    EXPECT_TRUE(host.own.empty());

    // The wheel goes from the surface to the display and on to the host,
    // with the delta as the first handler left it.
    calls.clear();
    events.FOnMouseWheel = [this](QObject *s, int16_t &d) {
        calls.push_back({"MouseWheel", s, -1, 0, 0, d});
        d = static_cast<int16_t>(d + 1);
    };
    Wheel(surface, QPointF(5, 5), QPoint(0, 120));
    const std::vector<TCall> wheel = {
        {"MouseWheel", &host, -1, 0, 0, 120},
        {"MouseWheel", display, -1, 0, 0, 121},
    };
    EXPECT_EQ(calls, wheel);
    EXPECT_EQ(host.wheelDeltas, std::vector<int>{122});
}

TEST_F(TForwardingFixture, SurfaceCanBeReplacedAndForwardingRemoved)
{
    AssignAll();
    picture->hide();
    container->show();
    QWindow other;
    forwarding->SetSurface(&other);
    Mouse(surface, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    EXPECT_TRUE(calls.empty());
    forwarding->SetSurface(surface);
    Mouse(surface, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    EXPECT_EQ(calls.size(), 1u);
    // Once the forwarding is gone, the controls are as before it.
    forwarding.reset();
    Mouse(inner, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    Wheel(inner, QPointF(0, 0), QPoint(0, 120));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(inner->own, (std::vector<std::string>{"press", "wheel"}));
}

} // namespace
} // namespace hg
