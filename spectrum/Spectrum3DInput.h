// Pointer and keyboard forwarding of the spectrum display: mouse, wheel and
// key input on the display's drawing area raises the display's own input
// events (TSpectrum3DInputEvents). Window thread only.
//
// Two layers. The routing table, the dispatcher and the key-code table use
// no widget and are tested without a display. TSpectrum3DInputForwarding is
// the thin Qt layer: an event filter on the display's controls that turns
// Qt's events into dispatcher calls.
#pragma once

#include "Spectrum3DEvents.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>

class QEvent;
class QWidget;
class QWindow;

namespace hg {

// ---------------------------------------------------------------------------
// Routing (no Qt widgets)

// The control of the display that receives a message.
enum class TInputReceiver {
    InnerPanel, // TPanelSpectrum, and its embedded drawing surface
    Picture,    // TSamplePicture, while it covers the inner panel
    Display,    // TSpectrum3D itself
};

// The messages the forwarding looks at, named after the Windows messages
// whose behaviour hosts know. The ones that are listed but never forwarded
// (middle release, right and middle double clicks, key up) are here so that
// the table says so explicitly.
enum class TInputMessage {
    MouseMove,
    LButtonDown,
    LButtonUp,
    LButtonDblClk,
    RButtonDown,
    RButtonUp,
    RButtonDblClk,
    MButtonDown,
    MButtonUp,
    MButtonDblClk,
    MouseWheel,
    KeyDown,
    KeyUp,
};

// Which of the display's events a message raises.
enum class TInputEvent {
    None, // not forwarded: the control's ordinary handling applies
    MouseMove,
    MouseDown,
    MouseUp,
    DblClick,
    MouseWheel,
    KeyDown,
};

// Which object the event gets as its Sender. The choice differs between the
// controls on purpose (hosts rely on it); see Spectrum3DInputRoute.
enum class TInputSender {
    DisplayParent, // the widget the host placed the display in
    Display,
    InnerPanel,
};

struct TInputRoute {
    TInputEvent event = TInputEvent::None;
    TInputSender sender = TInputSender::Display;
    TMouseButton button = mbLeft; // MouseDown / MouseUp only
};

// The forwarding table: which event a message on a control raises, and with
// which Sender. event None: the message is not forwarded.
TInputRoute Spectrum3DInputRoute(TInputReceiver receiver, TInputMessage message) noexcept;

// The objects a Sender can be. display is the display found from the
// receiving control (its parent, or the picture's grandparent); nullptr when
// it could not be found, which is an error (the message is dropped).
// displayParent may be nullptr (a display with no parent widget).
struct TInputControls {
    QObject *displayParent = nullptr;
    QObject *display = nullptr;
    QObject *innerPanel = nullptr;
};

// The fields of one message. X and Y are 16-bit client positions of the
// receiving control, widened with their sign for the event. WheelDelta and
// CharCode are handed to the event by reference: on return they hold what
// the handler left there, for the default handling that follows.
struct TInputMessageArgs {
    int16_t X = 0;
    int16_t Y = 0;
    int16_t WheelDelta = 0;
    uint16_t CharCode = 0;
};

enum class TInputOutcome {
    NotForwarded,   // not in the table: the control's ordinary handling
    DefaultFollows, // forwarded (or no handler assigned): default handling next
    DefaultSkipped, // the display was not found or the handler threw: drop it
};

// Raises the event of the table for one message, if it is assigned. Any
// exception from the handler is caught and swallowed; it only stops the
// default handling of this one message. events may be nullptr (no display).
TInputOutcome DispatchSpectrum3DInput(TInputReceiver receiver, TInputMessage message,
                                      const TInputControls &controls,
                                      const TSpectrum3DInputEvents *events,
                                      TInputMessageArgs &args) noexcept;

// Windows virtual-key code for a Qt key (Qt::Key) as a US keyboard gives it;
// keypad is true when the event carries Qt::KeypadModifier (digits and
// operators then give the numeric-pad codes). 0 for a key with no code.
uint16_t WindowsVirtualKey(int qtKey, bool keypad) noexcept;

// ---------------------------------------------------------------------------
// Qt layer

// The event filter that forwards the display's input. It is installed on
// the inner panel, the picture, the display and the drawing surface (a
// QWindow inside the inner panel; events on a window container arrive at
// the window, not at the container widget).
//
// Default handling in Qt terms:
// - mouse events that are forwarded are consumed: the controls' own mouse
//   handlers do not run and the event does not travel on to the parents;
// - a wheel event is handed on to the parent widget (the display for the
//   inner panel and the surface, the inner panel for the picture, the host
//   for the display), and on up while nobody accepts it, carrying the
//   delta as the handler left it; the controls' own wheel handlers do not
//   run;
// - when the handler threw, the event is consumed and goes no further;
// - a key press on the picture is consumed.
// Messages outside the table are left alone.
class TSpectrum3DInputForwarding : public QObject {
public:
    // events: the display's record, read on every forwarded event; it must
    // outlive this object. Turns on mouse tracking on the inner panel and
    // the picture, so that moves arrive without a button held.
    TSpectrum3DInputForwarding(QWidget *display, QWidget *innerPanel, QWidget *picture,
                               TSpectrum3DInputEvents *events);
    ~TSpectrum3DInputForwarding() override;

    // Forwards the events of a (new) drawing surface; the previous surface,
    // if any, is let go. nullptr: no surface.
    void SetSurface(QWindow *surface);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool FilterMouse(TInputReceiver receiver, bool fromSurface, QObject *watched, QEvent *event);
    bool FilterWheel(TInputReceiver receiver, bool fromSurface, QObject *watched, QEvent *event);
    bool FilterKey(QEvent *event);
    TInputControls ControlsFor(TInputReceiver receiver) const;

    QPointer<QWidget> FDisplay;
    QPointer<QWidget> FInnerPanel;
    QPointer<QWidget> FPicture;
    QPointer<QWindow> FSurface;
    TSpectrum3DInputEvents *FEvents;
};

// Installs the forwarding on a display's controls. What the display does:
//   - hold the result in a member declared AFTER its TSpectrum3DInputEvents
//     member, so that the forwarding goes before the events record and
//     before the base widget deletes the child controls;
//   - call it once, in its constructor, after the inner panel and the
//     picture exist (surface may be nullptr then);
//   - call SetSurface(window) whenever it makes a new drawing window (and
//     SetSurface(nullptr) before it destroys one, if it outlives the call).
// display: the TSpectrum3D; innerPanel: its TPanelSpectrum (a child of the
// display); picture: the TSamplePicture (a child of the inner panel);
// surface: the QWindow embedded in the inner panel, or nullptr.
std::unique_ptr<TSpectrum3DInputForwarding> InstallSpectrum3DInput(QWidget *display, QWidget *innerPanel,
                                                                   QWindow *surface, QWidget *picture,
                                                                   TSpectrum3DInputEvents *events);

} // namespace hg
