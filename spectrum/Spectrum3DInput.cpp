// Pointer and keyboard forwarding of the spectrum display: the routing
// table, the dispatcher, the key-code table and the Qt event filter that
// feeds them. Window thread only.
#include "Spectrum3DInput.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace hg {

namespace {

// ---------------------------------------------------------------------------
// The forwarding table. Rows not listed raise nothing.

struct TRouteRow {
    TInputReceiver receiver;
    TInputMessage message;
    TInputRoute route;
};

using R = TInputReceiver;
using M = TInputMessage;
using E = TInputEvent;
using S = TInputSender;

constexpr TRouteRow kRoutes[] = {
    // The inner panel: presses and moves name the display's parent, releases
    // and double clicks the display.
    {R::InnerPanel, M::MouseMove, {E::MouseMove, S::DisplayParent, mbLeft}},
    {R::InnerPanel, M::LButtonDown, {E::MouseDown, S::DisplayParent, mbLeft}},
    {R::InnerPanel, M::LButtonUp, {E::MouseUp, S::Display, mbLeft}},
    {R::InnerPanel, M::LButtonDblClk, {E::DblClick, S::Display, mbLeft}},
    {R::InnerPanel, M::RButtonDown, {E::MouseDown, S::DisplayParent, mbRight}},
    {R::InnerPanel, M::RButtonUp, {E::MouseUp, S::Display, mbRight}},
    {R::InnerPanel, M::MButtonDown, {E::MouseDown, S::DisplayParent, mbMiddle}},
    {R::InnerPanel, M::MouseWheel, {E::MouseWheel, S::DisplayParent, mbLeft}},
    // The picture: the left button and moves name the display, the right and
    // middle buttons, the wheel and keys the inner panel.
    {R::Picture, M::KeyDown, {E::KeyDown, S::InnerPanel, mbLeft}},
    {R::Picture, M::MouseMove, {E::MouseMove, S::Display, mbLeft}},
    {R::Picture, M::LButtonDown, {E::MouseDown, S::Display, mbLeft}},
    {R::Picture, M::LButtonUp, {E::MouseUp, S::Display, mbLeft}},
    {R::Picture, M::LButtonDblClk, {E::DblClick, S::Display, mbLeft}},
    {R::Picture, M::RButtonDown, {E::MouseDown, S::InnerPanel, mbRight}},
    {R::Picture, M::RButtonUp, {E::MouseUp, S::InnerPanel, mbRight}},
    {R::Picture, M::MButtonDown, {E::MouseDown, S::InnerPanel, mbMiddle}},
    {R::Picture, M::MouseWheel, {E::MouseWheel, S::InnerPanel, mbLeft}},
    // The display itself handles the wheel only.
    {R::Display, M::MouseWheel, {E::MouseWheel, S::Display, mbLeft}},
};

QObject *SenderObject(TInputSender sender, const TInputControls &controls) noexcept
{
    switch (sender) {
    case S::DisplayParent:
        return controls.displayParent;
    case S::Display:
        return controls.display;
    case S::InnerPanel:
        return controls.innerPanel;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Qt::Key to Windows virtual-key codes, the one table. A row covers the Qt
// keys first..last, giving vk + (key - first). Rows that need (or refuse)
// the keypad modifier come before the rows that take either.

enum class TPad { Either, Keypad, Main };

struct TKeyRow {
    int first;
    int last;
    uint16_t vk;
    TPad pad;
};

constexpr TKeyRow kKeys[] = {
    // Numeric pad (Qt::KeypadModifier set): digits and operators.
    {Qt::Key_0, Qt::Key_9, 0x60, TPad::Keypad}, // VK_NUMPAD0..9
    {Qt::Key_Asterisk, Qt::Key_Asterisk, 0x6A, TPad::Keypad}, // VK_MULTIPLY
    {Qt::Key_Plus, Qt::Key_Plus, 0x6B, TPad::Keypad},         // VK_ADD
    {Qt::Key_Minus, Qt::Key_Minus, 0x6D, TPad::Keypad},       // VK_SUBTRACT
    {Qt::Key_Period, Qt::Key_Period, 0x6E, TPad::Keypad},     // VK_DECIMAL
    {Qt::Key_Comma, Qt::Key_Comma, 0x6E, TPad::Keypad},       // VK_DECIMAL (comma locales)
    {Qt::Key_Slash, Qt::Key_Slash, 0x6F, TPad::Keypad},       // VK_DIVIDE
    // Main keyboard characters that the keypad also has.
    {Qt::Key_0, Qt::Key_9, 0x30, TPad::Main},
    {Qt::Key_Asterisk, Qt::Key_Asterisk, 0x38, TPad::Main}, // shift+8
    {Qt::Key_Plus, Qt::Key_Plus, 0xBB, TPad::Main},         // VK_OEM_PLUS (shift+=)
    {Qt::Key_Minus, Qt::Key_Minus, 0xBD, TPad::Main},       // VK_OEM_MINUS
    {Qt::Key_Period, Qt::Key_Period, 0xBE, TPad::Main},     // VK_OEM_PERIOD
    {Qt::Key_Comma, Qt::Key_Comma, 0xBC, TPad::Main},       // VK_OEM_COMMA
    {Qt::Key_Slash, Qt::Key_Slash, 0xBF, TPad::Main},       // VK_OEM_2
    // Letters (Qt gives the upper case for both).
    {Qt::Key_A, Qt::Key_Z, 0x41, TPad::Either},
    // Function keys.
    {Qt::Key_F1, Qt::Key_F24, 0x70, TPad::Either}, // VK_F1..VK_F24
    // Cursor and editing keys (from either block: with Num Lock off the
    // keypad gives these too, as on Windows).
    {Qt::Key_Left, Qt::Key_Left, 0x25, TPad::Either},
    {Qt::Key_Up, Qt::Key_Up, 0x26, TPad::Either},
    {Qt::Key_Right, Qt::Key_Right, 0x27, TPad::Either},
    {Qt::Key_Down, Qt::Key_Down, 0x28, TPad::Either},
    {Qt::Key_Home, Qt::Key_Home, 0x24, TPad::Either},
    {Qt::Key_End, Qt::Key_End, 0x23, TPad::Either},
    {Qt::Key_PageUp, Qt::Key_PageUp, 0x21, TPad::Either},   // VK_PRIOR
    {Qt::Key_PageDown, Qt::Key_PageDown, 0x22, TPad::Either}, // VK_NEXT
    {Qt::Key_Insert, Qt::Key_Insert, 0x2D, TPad::Either},
    {Qt::Key_Delete, Qt::Key_Delete, 0x2E, TPad::Either},
    {Qt::Key_Clear, Qt::Key_Clear, 0x0C, TPad::Either}, // keypad 5 without Num Lock
    {Qt::Key_Backspace, Qt::Key_Backspace, 0x08, TPad::Either},
    {Qt::Key_Tab, Qt::Key_Tab, 0x09, TPad::Either},
    {Qt::Key_Backtab, Qt::Key_Backtab, 0x09, TPad::Either}, // shift+tab
    {Qt::Key_Return, Qt::Key_Return, 0x0D, TPad::Either},
    {Qt::Key_Enter, Qt::Key_Enter, 0x0D, TPad::Either}, // keypad Enter
    {Qt::Key_Escape, Qt::Key_Escape, 0x1B, TPad::Either},
    {Qt::Key_Space, Qt::Key_Space, 0x20, TPad::Either},
    // Modifiers and lock keys.
    {Qt::Key_Shift, Qt::Key_Shift, 0x10, TPad::Either},
    {Qt::Key_Control, Qt::Key_Control, 0x11, TPad::Either},
    {Qt::Key_Alt, Qt::Key_Alt, 0x12, TPad::Either},   // VK_MENU
    {Qt::Key_AltGr, Qt::Key_AltGr, 0x12, TPad::Either},
    {Qt::Key_Meta, Qt::Key_Meta, 0x5B, TPad::Either}, // VK_LWIN
    {Qt::Key_Menu, Qt::Key_Menu, 0x5D, TPad::Either}, // VK_APPS
    {Qt::Key_Pause, Qt::Key_Pause, 0x13, TPad::Either},
    {Qt::Key_CapsLock, Qt::Key_CapsLock, 0x14, TPad::Either},
    {Qt::Key_NumLock, Qt::Key_NumLock, 0x90, TPad::Either},
    {Qt::Key_ScrollLock, Qt::Key_ScrollLock, 0x91, TPad::Either},
    {Qt::Key_Print, Qt::Key_Print, 0x2C, TPad::Either}, // VK_SNAPSHOT
    // Punctuation of a US keyboard: each key's plain and shifted character.
    {Qt::Key_Semicolon, Qt::Key_Semicolon, 0xBA, TPad::Either}, // VK_OEM_1
    {Qt::Key_Colon, Qt::Key_Colon, 0xBA, TPad::Either},
    {Qt::Key_Equal, Qt::Key_Equal, 0xBB, TPad::Either}, // VK_OEM_PLUS
    {Qt::Key_Less, Qt::Key_Less, 0xBC, TPad::Either},   // VK_OEM_COMMA
    {Qt::Key_Underscore, Qt::Key_Underscore, 0xBD, TPad::Either}, // VK_OEM_MINUS
    {Qt::Key_Greater, Qt::Key_Greater, 0xBE, TPad::Either},       // VK_OEM_PERIOD
    {Qt::Key_Question, Qt::Key_Question, 0xBF, TPad::Either},     // VK_OEM_2
    {Qt::Key_QuoteLeft, Qt::Key_QuoteLeft, 0xC0, TPad::Either},   // VK_OEM_3
    {Qt::Key_AsciiTilde, Qt::Key_AsciiTilde, 0xC0, TPad::Either},
    {Qt::Key_BracketLeft, Qt::Key_BracketLeft, 0xDB, TPad::Either}, // VK_OEM_4
    {Qt::Key_BraceLeft, Qt::Key_BraceLeft, 0xDB, TPad::Either},
    {Qt::Key_Backslash, Qt::Key_Backslash, 0xDC, TPad::Either}, // VK_OEM_5
    {Qt::Key_Bar, Qt::Key_Bar, 0xDC, TPad::Either},
    {Qt::Key_BracketRight, Qt::Key_BracketRight, 0xDD, TPad::Either}, // VK_OEM_6
    {Qt::Key_BraceRight, Qt::Key_BraceRight, 0xDD, TPad::Either},
    {Qt::Key_Apostrophe, Qt::Key_Apostrophe, 0xDE, TPad::Either}, // VK_OEM_7
    {Qt::Key_QuoteDbl, Qt::Key_QuoteDbl, 0xDE, TPad::Either},
    // Shifted digits of a US keyboard name their digit key.
    {Qt::Key_Exclam, Qt::Key_Exclam, 0x31, TPad::Either},
    {Qt::Key_At, Qt::Key_At, 0x32, TPad::Either},
    {Qt::Key_NumberSign, Qt::Key_NumberSign, 0x33, TPad::Either},
    {Qt::Key_Dollar, Qt::Key_Dollar, 0x34, TPad::Either},
    {Qt::Key_Percent, Qt::Key_Percent, 0x35, TPad::Either},
    {Qt::Key_AsciiCircum, Qt::Key_AsciiCircum, 0x36, TPad::Either},
    {Qt::Key_Ampersand, Qt::Key_Ampersand, 0x37, TPad::Either},
    {Qt::Key_ParenLeft, Qt::Key_ParenLeft, 0x39, TPad::Either},
    {Qt::Key_ParenRight, Qt::Key_ParenRight, 0x30, TPad::Either},
};

} // namespace

// ---------------------------------------------------------------------------
// Routing

TInputRoute Spectrum3DInputRoute(TInputReceiver receiver, TInputMessage message) noexcept
{
    for (const TRouteRow &row : kRoutes) {
        if (row.receiver == receiver && row.message == message)
            return row.route;
    }
    return {};
}

TInputOutcome DispatchSpectrum3DInput(TInputReceiver receiver, TInputMessage message,
                                      const TInputControls &controls,
                                      const TSpectrum3DInputEvents *events,
                                      TInputMessageArgs &args) noexcept
{
    const TInputRoute route = Spectrum3DInputRoute(receiver, message);
    if (route.event == E::None)
        return TInputOutcome::NotForwarded;
    // Without its display the message cannot be forwarded; it is dropped as
    // an error rather than given to the default handling half-done.
    if (controls.display == nullptr || events == nullptr)
        return TInputOutcome::DefaultSkipped;

    QObject *sender = SenderObject(route.sender, controls);
    const int32_t x = args.X; // widened with the sign
    const int32_t y = args.Y;
    try {
        switch (route.event) {
        case E::MouseMove:
            if (events->FOnMouseMove)
                events->FOnMouseMove(sender, x, y);
            break;
        case E::MouseDown:
            if (events->FOnMouseDown)
                events->FOnMouseDown(sender, route.button, x, y);
            break;
        case E::MouseUp:
            if (events->FOnMouseUp)
                events->FOnMouseUp(sender, route.button, x, y);
            break;
        case E::DblClick:
            if (events->FOnDblClick)
                events->FOnDblClick(sender, x, y);
            break;
        case E::MouseWheel:
            if (events->FOnMouseWheel)
                events->FOnMouseWheel(sender, args.WheelDelta);
            break;
        case E::KeyDown:
            if (events->FOnKeyDown)
                events->FOnKeyDown(sender, args.CharCode);
            break;
        case E::None:
            break;
        }
    } catch (...) {
        // A host handler's error never leaves the forwarding and is not
        // reported; it only cancels this message's default handling.
        return TInputOutcome::DefaultSkipped;
    }
    return TInputOutcome::DefaultFollows;
}

uint16_t WindowsVirtualKey(int qtKey, bool keypad) noexcept
{
    for (const TKeyRow &row : kKeys) {
        if (qtKey < row.first || qtKey > row.last)
            continue;
        if ((row.pad == TPad::Keypad && !keypad) || (row.pad == TPad::Main && keypad))
            continue;
        return static_cast<uint16_t>(row.vk + (qtKey - row.first));
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Qt layer

namespace {

// A 16-bit client position as the forwarding hands it on: the pixel the
// point lies in, held to the 16-bit range (a window can be dragged past it;
// holding it there keeps the sign right instead of wrapping round).
int16_t Position16(qreal v) noexcept
{
    if (!(v == v)) // NaN
        return 0;
    const qreal f = std::floor(v);
    return static_cast<int16_t>(std::clamp<qreal>(f, INT16_MIN, INT16_MAX));
}

int16_t Delta16(int v) noexcept
{
    return static_cast<int16_t>(std::clamp(v, int(INT16_MIN), int(INT16_MAX)));
}

// Hands a wheel event on to a widget and, while nobody accepts it, to that
// widget's parents, as Qt does with a wheel the user turned (Qt hands on
// only the events that come from the system; this also hands on the ones
// that other code sends). A fresh event carries the delta as the handlers
// left it, since a QWheelEvent's delta cannot be changed. Returns whether
// a widget accepted it.
bool HandWheelOn(QWidget *to, QPointF position, const QWheelEvent &from, int16_t delta)
{
    for (QWidget *w = to; w != nullptr; w = w->parentWidget()) {
        QWheelEvent e(position, from.globalPosition(), from.pixelDelta(), QPoint(from.angleDelta().x(), delta),
                      from.buttons(), from.modifiers(), from.phase(), from.inverted(), from.source(),
                      from.pointingDevice());
        e.setTimestamp(from.timestamp());
        const QPointer<QWidget> alive(w); // a host's handler may delete its widget
        QCoreApplication::sendEvent(w, &e);
        if (e.isAccepted() || alive == nullptr)
            return true;
        if (w->isWindow() || w->testAttribute(Qt::WA_NoMousePropagation))
            return false;
        position += w->pos();
    }
    return false;
}

bool MouseMessage(const QMouseEvent &event, TInputMessage &message)
{
    const Qt::MouseButton b = event.button();
    switch (event.type()) {
    case QEvent::MouseMove:
        message = M::MouseMove;
        return true;
    case QEvent::MouseButtonPress:
        if (b == Qt::LeftButton)
            message = M::LButtonDown;
        else if (b == Qt::RightButton)
            message = M::RButtonDown;
        else if (b == Qt::MiddleButton)
            message = M::MButtonDown;
        else
            return false;
        return true;
    case QEvent::MouseButtonRelease:
        if (b == Qt::LeftButton)
            message = M::LButtonUp;
        else if (b == Qt::RightButton)
            message = M::RButtonUp;
        else if (b == Qt::MiddleButton)
            message = M::MButtonUp;
        else
            return false;
        return true;
    case QEvent::MouseButtonDblClick:
        if (b == Qt::LeftButton)
            message = M::LButtonDblClk;
        else if (b == Qt::RightButton)
            message = M::RButtonDblClk;
        else if (b == Qt::MiddleButton)
            message = M::MButtonDblClk;
        else
            return false;
        return true;
    default:
        return false;
    }
}

} // namespace

TSpectrum3DInputForwarding::TSpectrum3DInputForwarding(QWidget *display, QWidget *innerPanel,
                                                       QWidget *picture,
                                                       TSpectrum3DInputEvents *events)
    : FDisplay(display), FInnerPanel(innerPanel), FPicture(picture), FEvents(events)
{
    for (QWidget *w : {display, innerPanel, picture}) {
        if (w != nullptr)
            w->installEventFilter(this);
    }
    // Moves are forwarded whether a button is held or not.
    if (innerPanel != nullptr)
        innerPanel->setMouseTracking(true);
    if (picture != nullptr)
        picture->setMouseTracking(true);
}

TSpectrum3DInputForwarding::~TSpectrum3DInputForwarding()
{
    for (QObject *o : {static_cast<QObject *>(FDisplay.data()), static_cast<QObject *>(FInnerPanel.data()),
                       static_cast<QObject *>(FPicture.data()), static_cast<QObject *>(FSurface.data())}) {
        if (o != nullptr)
            o->removeEventFilter(this);
    }
}

void TSpectrum3DInputForwarding::SetSurface(QWindow *surface)
{
    if (FSurface == surface)
        return;
    if (FSurface != nullptr)
        FSurface->removeEventFilter(this);
    FSurface = surface;
    if (surface != nullptr)
        surface->installEventFilter(this);
}

TInputControls TSpectrum3DInputForwarding::ControlsFor(TInputReceiver receiver) const
{
    // The display as the receiving control finds it: the inner panel's
    // parent, the picture's grandparent. Anything but our display is an
    // error, and the message is dropped.
    QWidget *found = nullptr;
    switch (receiver) {
    case R::InnerPanel:
        found = FInnerPanel != nullptr ? FInnerPanel->parentWidget() : nullptr;
        break;
    case R::Picture:
        if (FPicture != nullptr && FPicture->parentWidget() != nullptr)
            found = FPicture->parentWidget()->parentWidget();
        break;
    case R::Display:
        found = FDisplay;
        break;
    }
    TInputControls controls;
    if (found != nullptr && found == FDisplay) {
        controls.display = found;
        controls.displayParent = found->parentWidget();
        controls.innerPanel = FInnerPanel;
    }
    return controls;
}

bool TSpectrum3DInputForwarding::eventFilter(QObject *watched, QEvent *event)
{
    TInputReceiver receiver;
    bool fromSurface = false;
    if (FSurface != nullptr && watched == FSurface) {
        // The drawing surface is the inner panel's own window.
        receiver = R::InnerPanel;
        fromSurface = true;
    } else if (watched == FInnerPanel) {
        receiver = R::InnerPanel;
    } else if (watched == FPicture) {
        receiver = R::Picture;
    } else if (watched == FDisplay) {
        receiver = R::Display;
    } else {
        return false;
    }

    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return FilterMouse(receiver, fromSurface, watched, event);
    case QEvent::Wheel:
        return FilterWheel(receiver, fromSurface, watched, event);
    case QEvent::KeyPress:
        return receiver == R::Picture && FilterKey(event);
    default:
        return false;
    }
}

bool TSpectrum3DInputForwarding::FilterMouse(TInputReceiver receiver, bool fromSurface, QObject *watched,
                                             QEvent *event)
{
    auto &mouse = static_cast<QMouseEvent &>(*event);
    // A bare QWindow gets the second press of a double click as a press
    // followed by the double click itself; widgets (and Windows) see only
    // the double click. Swallow that press so the surface matches.
    if (fromSurface && mouse.type() == QEvent::MouseButtonPress
        && (mouse.flags() & Qt::MouseEventCreatedDoubleClick)) {
        mouse.accept();
        return true;
    }
    TInputMessage message;
    if (!MouseMessage(mouse, message))
        return false;
    QPointF p = mouse.position();
    if (fromSurface && FInnerPanel != nullptr)
        p = FInnerPanel->mapFromGlobal(static_cast<QWindow *>(watched)->mapToGlobal(p));
    TInputMessageArgs args;
    args.X = Position16(p.x());
    args.Y = Position16(p.y());
    const TInputOutcome outcome = DispatchSpectrum3DInput(receiver, message, ControlsFor(receiver), FEvents, args);
    if (outcome == TInputOutcome::NotForwarded)
        return false;
    // Forwarded: the controls' own handlers do not run, and the event does
    // not travel on to the parents, whether or not the handler threw.
    mouse.accept();
    return true;
}

bool TSpectrum3DInputForwarding::FilterWheel(TInputReceiver receiver, bool fromSurface, QObject *watched,
                                             QEvent *event)
{
    auto &wheel = static_cast<QWheelEvent &>(*event);
    const int vertical = wheel.angleDelta().y();
    if (vertical == 0) // a horizontal wheel or a pixel-only touchpad phase
        return false;
    TInputMessageArgs args;
    args.WheelDelta = Delta16(vertical);
    const TInputOutcome outcome =
        DispatchSpectrum3DInput(receiver, M::MouseWheel, ControlsFor(receiver), FEvents, args);
    // The event itself always ends here, accepted, so that neither this
    // control's own wheel handler runs nor Qt hands it on a second time.
    wheel.accept();
    if (outcome != TInputOutcome::DefaultFollows)
        return true; // the handler threw, or no display: it goes no further
    // The default handling: on to the parent, the display for the inner
    // panel and its surface, the inner panel for the picture, the host for
    // the display.
    if (fromSurface) {
        if (FDisplay != nullptr) {
            const QPointF global = static_cast<QWindow *>(watched)->mapToGlobal(wheel.position());
            HandWheelOn(FDisplay, FDisplay->mapFromGlobal(global), wheel, args.WheelDelta);
        }
        return true;
    }
    auto *control = static_cast<QWidget *>(watched);
    if (!control->isWindow())
        HandWheelOn(control->parentWidget(), wheel.position() + control->pos(), wheel, args.WheelDelta);
    return true;
}

bool TSpectrum3DInputForwarding::FilterKey(QEvent *event)
{
    auto &key = static_cast<QKeyEvent &>(*event);
    const uint16_t vk = WindowsVirtualKey(key.key(), key.modifiers().testFlag(Qt::KeypadModifier));
    if (vk == 0) // no Windows key to name
        return false;
    TInputMessageArgs args;
    args.CharCode = vk;
    const TInputOutcome outcome =
        DispatchSpectrum3DInput(R::Picture, M::KeyDown, ControlsFor(R::Picture), FEvents, args);
    if (outcome == TInputOutcome::NotForwarded)
        return false;
    // The picture's default handling of a key does nothing further.
    key.accept();
    return true;
}

std::unique_ptr<TSpectrum3DInputForwarding> InstallSpectrum3DInput(QWidget *display, QWidget *innerPanel,
                                                                   QWindow *surface, QWidget *picture,
                                                                   TSpectrum3DInputEvents *events)
{
    auto forwarding = std::make_unique<TSpectrum3DInputForwarding>(display, innerPanel, picture, events);
    forwarding->SetSurface(surface);
    return forwarding;
}

} // namespace hg
