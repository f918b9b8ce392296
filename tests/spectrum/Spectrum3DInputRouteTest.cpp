// Tests of the spectrum display's input routing without any widget: the
// forwarding table, the dispatcher (Senders, arguments, by-reference values,
// a throwing handler, no handler) and the virtual-key table.
#include "Spectrum3DInput.h"

#include <QObject>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace hg {
namespace {

using R = TInputReceiver;
using M = TInputMessage;
using E = TInputEvent;
using S = TInputSender;

const char *Name(R r)
{
    switch (r) {
    case R::InnerPanel: return "inner panel";
    case R::Picture: return "picture";
    case R::Display: return "display";
    }
    return "?";
}

const char *Name(M m)
{
    switch (m) {
    case M::MouseMove: return "MouseMove";
    case M::LButtonDown: return "LButtonDown";
    case M::LButtonUp: return "LButtonUp";
    case M::LButtonDblClk: return "LButtonDblClk";
    case M::RButtonDown: return "RButtonDown";
    case M::RButtonUp: return "RButtonUp";
    case M::RButtonDblClk: return "RButtonDblClk";
    case M::MButtonDown: return "MButtonDown";
    case M::MButtonUp: return "MButtonUp";
    case M::MButtonDblClk: return "MButtonDblClk";
    case M::MouseWheel: return "MouseWheel";
    case M::KeyDown: return "KeyDown";
    case M::KeyUp: return "KeyUp";
    }
    return "?";
}

constexpr R kReceivers[] = {R::InnerPanel, R::Picture, R::Display};
constexpr M kMessages[] = {M::MouseMove,   M::LButtonDown,   M::LButtonUp, M::LButtonDblClk, M::RButtonDown,
                           M::RButtonUp,   M::RButtonDblClk, M::MButtonDown, M::MButtonUp,   M::MButtonDblClk,
                           M::MouseWheel,  M::KeyDown,       M::KeyUp};

// Every forwarded (receiver, message) pair; every other pair raises nothing.
TEST(Spectrum3DInputRoute, TableHasExactlyTheForwardedRows)
{
    const std::map<std::pair<R, M>, TInputRoute> expected = {
        {{R::InnerPanel, M::MouseMove}, {E::MouseMove, S::DisplayParent, mbLeft}},
        {{R::InnerPanel, M::LButtonDown}, {E::MouseDown, S::DisplayParent, mbLeft}},
        {{R::InnerPanel, M::LButtonUp}, {E::MouseUp, S::Display, mbLeft}},
        {{R::InnerPanel, M::LButtonDblClk}, {E::DblClick, S::Display, mbLeft}},
        {{R::InnerPanel, M::RButtonDown}, {E::MouseDown, S::DisplayParent, mbRight}},
        {{R::InnerPanel, M::RButtonUp}, {E::MouseUp, S::Display, mbRight}},
        {{R::InnerPanel, M::MButtonDown}, {E::MouseDown, S::DisplayParent, mbMiddle}},
        {{R::InnerPanel, M::MouseWheel}, {E::MouseWheel, S::DisplayParent, mbLeft}},
        {{R::Picture, M::KeyDown}, {E::KeyDown, S::InnerPanel, mbLeft}},
        {{R::Picture, M::MouseMove}, {E::MouseMove, S::Display, mbLeft}},
        {{R::Picture, M::LButtonDown}, {E::MouseDown, S::Display, mbLeft}},
        {{R::Picture, M::LButtonUp}, {E::MouseUp, S::Display, mbLeft}},
        {{R::Picture, M::LButtonDblClk}, {E::DblClick, S::Display, mbLeft}},
        {{R::Picture, M::RButtonDown}, {E::MouseDown, S::InnerPanel, mbRight}},
        {{R::Picture, M::RButtonUp}, {E::MouseUp, S::InnerPanel, mbRight}},
        {{R::Picture, M::MButtonDown}, {E::MouseDown, S::InnerPanel, mbMiddle}},
        {{R::Picture, M::MouseWheel}, {E::MouseWheel, S::InnerPanel, mbLeft}},
        {{R::Display, M::MouseWheel}, {E::MouseWheel, S::Display, mbLeft}},
    };
    for (R r : kReceivers) {
        for (M m : kMessages) {
            SCOPED_TRACE(std::string(Name(r)) + " " + Name(m));
            const TInputRoute got = Spectrum3DInputRoute(r, m);
            const auto it = expected.find({r, m});
            if (it == expected.end()) {
                EXPECT_EQ(got.event, E::None);
                continue;
            }
            EXPECT_EQ(got.event, it->second.event);
            EXPECT_EQ(got.sender, it->second.sender);
            if (got.event == E::MouseDown || got.event == E::MouseUp) {
                EXPECT_EQ(got.button, it->second.button);
            }
        }
    }
}

// What the handlers saw.
struct TCall {
    std::string event;
    QObject *sender = nullptr;
    int button = -1;
    int32_t x = 0, y = 0;
    int delta = 0;
    int code = 0;
};

struct TDispatchFixture : ::testing::Test {
    QObject parent, display, inner;
    TInputControls controls{&parent, &display, &inner};
    TSpectrum3DInputEvents events;
    std::vector<TCall> calls;

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
        events.FOnMouseWheel = [this](QObject *s, int16_t &d) {
            calls.push_back({"MouseWheel", s, -1, 0, 0, d});
            d = static_cast<int16_t>(d * 2);
        };
        events.FOnKeyDown = [this](QObject *s, uint16_t &c) {
            calls.push_back({"KeyDown", s, -1, 0, 0, 0, c});
            c = 0x41;
        };
    }
};

TEST_F(TDispatchFixture, RaisesWithTheSenderObjectAndSignWidenedPositions)
{
    AssignAll();
    struct Case {
        R r;
        M m;
        const char *event;
        QObject *sender;
        int button;
    };
    const Case cases[] = {
        {R::InnerPanel, M::MouseMove, "MouseMove", &parent, -1},
        {R::InnerPanel, M::LButtonDown, "MouseDown", &parent, mbLeft},
        {R::InnerPanel, M::RButtonUp, "MouseUp", &display, mbRight},
        {R::InnerPanel, M::MButtonDown, "MouseDown", &parent, mbMiddle},
        {R::InnerPanel, M::LButtonDblClk, "DblClick", &display, -1},
        {R::Picture, M::MouseMove, "MouseMove", &display, -1},
        {R::Picture, M::RButtonDown, "MouseDown", &inner, mbRight},
        {R::Picture, M::LButtonUp, "MouseUp", &display, mbLeft},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(Name(c.r)) + " " + Name(c.m));
        calls.clear();
        TInputMessageArgs args;
        args.X = static_cast<int16_t>(0x8000); // top bit set: -32768
        args.Y = -1;
        EXPECT_EQ(DispatchSpectrum3DInput(c.r, c.m, controls, &events, args), TInputOutcome::DefaultFollows);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].event, c.event);
        EXPECT_EQ(calls[0].sender, c.sender);
        EXPECT_EQ(calls[0].button, c.button);
        EXPECT_EQ(calls[0].x, -32768);
        EXPECT_EQ(calls[0].y, -1);
    }
}

TEST_F(TDispatchFixture, WheelDeltaAndKeyCodeComeBackAsTheHandlerLeftThem)
{
    AssignAll();
    TInputMessageArgs wheel;
    wheel.WheelDelta = -120;
    EXPECT_EQ(DispatchSpectrum3DInput(R::InnerPanel, M::MouseWheel, controls, &events, wheel),
              TInputOutcome::DefaultFollows);
    EXPECT_EQ(wheel.WheelDelta, -240);
    EXPECT_EQ(DispatchSpectrum3DInput(R::Display, M::MouseWheel, controls, &events, wheel),
              TInputOutcome::DefaultFollows);
    EXPECT_EQ(wheel.WheelDelta, -480);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].sender, &parent);
    EXPECT_EQ(calls[0].delta, -120);
    EXPECT_EQ(calls[1].sender, &display);
    EXPECT_EQ(calls[1].delta, -240);

    TInputMessageArgs key;
    key.CharCode = 0x70;
    EXPECT_EQ(DispatchSpectrum3DInput(R::Picture, M::KeyDown, controls, &events, key),
              TInputOutcome::DefaultFollows);
    EXPECT_EQ(key.CharCode, 0x41);
    EXPECT_EQ(calls.back().sender, &inner);
    EXPECT_EQ(calls.back().code, 0x70);
}

TEST_F(TDispatchFixture, NotForwardedMessagesRaiseNothing)
{
    AssignAll();
    const std::pair<R, M> cases[] = {
        {R::InnerPanel, M::MButtonUp}, {R::Picture, M::MButtonUp},     {R::InnerPanel, M::RButtonDblClk},
        {R::Picture, M::MButtonDblClk}, {R::InnerPanel, M::KeyDown},   {R::Picture, M::KeyUp},
        {R::Display, M::LButtonDown},  {R::Display, M::MouseMove},     {R::Display, M::KeyDown},
    };
    for (auto [r, m] : cases) {
        SCOPED_TRACE(std::string(Name(r)) + " " + Name(m));
        TInputMessageArgs args;
        EXPECT_EQ(DispatchSpectrum3DInput(r, m, controls, &events, args), TInputOutcome::NotForwarded);
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(TDispatchFixture, UnassignedEventsGoStraightToTheDefaultHandling)
{
    for (R r : kReceivers) {
        for (M m : kMessages) {
            TInputMessageArgs args;
            args.WheelDelta = 120;
            args.CharCode = 0x20;
            const TInputOutcome got = DispatchSpectrum3DInput(r, m, controls, &events, args);
            EXPECT_EQ(got, Spectrum3DInputRoute(r, m).event == E::None ? TInputOutcome::NotForwarded
                                                                        : TInputOutcome::DefaultFollows)
                << Name(r) << " " << Name(m);
            EXPECT_EQ(args.WheelDelta, 120);
            EXPECT_EQ(args.CharCode, 0x20);
        }
    }
}

TEST_F(TDispatchFixture, ThrowingHandlerSkipsTheDefaultHandlingOfThatMessageOnly)
{
    AssignAll();
    int thrown = 0;
    auto failOnce = [&thrown]() {
        if (thrown++ == 0)
            throw std::runtime_error("host failed");
    };
    events.FOnMouseWheel = [&](QObject *, int16_t &) { failOnce(); };
    TInputMessageArgs args;
    args.WheelDelta = 120;
    EXPECT_EQ(DispatchSpectrum3DInput(R::InnerPanel, M::MouseWheel, controls, &events, args),
              TInputOutcome::DefaultSkipped);
    EXPECT_EQ(DispatchSpectrum3DInput(R::InnerPanel, M::MouseWheel, controls, &events, args),
              TInputOutcome::DefaultFollows);

    // Anything thrown counts, not only exceptions derived from std::exception.
    events.FOnMouseDown = [](QObject *, TMouseButton, int32_t, int32_t) { throw 42; };
    EXPECT_EQ(DispatchSpectrum3DInput(R::Picture, M::LButtonDown, controls, &events, args),
              TInputOutcome::DefaultSkipped);
    events.FOnKeyDown = [](QObject *, uint16_t &) { throw std::bad_alloc(); };
    EXPECT_EQ(DispatchSpectrum3DInput(R::Picture, M::KeyDown, controls, &events, args),
              TInputOutcome::DefaultSkipped);
    // The other events are untouched by those failures.
    calls.clear();
    EXPECT_EQ(DispatchSpectrum3DInput(R::Picture, M::LButtonUp, controls, &events, args),
              TInputOutcome::DefaultFollows);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(TDispatchFixture, MissingDisplayDropsTheMessageWithoutRaising)
{
    AssignAll();
    TInputMessageArgs args;
    const TInputControls none{};
    EXPECT_EQ(DispatchSpectrum3DInput(R::InnerPanel, M::LButtonDown, none, &events, args),
              TInputOutcome::DefaultSkipped);
    EXPECT_EQ(DispatchSpectrum3DInput(R::Picture, M::MouseWheel, controls, nullptr, args),
              TInputOutcome::DefaultSkipped);
    EXPECT_TRUE(calls.empty());
    // A display without a parent still forwards, with no parent as Sender.
    const TInputControls orphan{nullptr, &display, &inner};
    EXPECT_EQ(DispatchSpectrum3DInput(R::InnerPanel, M::LButtonDown, orphan, &events, args),
              TInputOutcome::DefaultFollows);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].sender, nullptr);
}

TEST(Spectrum3DInputKeys, QtKeysGiveWindowsVirtualKeyCodes)
{
    struct Case {
        int key;
        bool keypad;
        uint16_t vk;
    };
    const Case cases[] = {
        {Qt::Key_A, false, 0x41},         {Qt::Key_Z, false, 0x5A},         {Qt::Key_M, true, 0x4D},
        {Qt::Key_0, false, 0x30},         {Qt::Key_9, false, 0x39},         {Qt::Key_0, true, 0x60},
        {Qt::Key_7, true, 0x67},          {Qt::Key_F1, false, 0x70},        {Qt::Key_F12, false, 0x7B},
        {Qt::Key_F24, false, 0x87},       {Qt::Key_Left, false, 0x25},      {Qt::Key_Up, false, 0x26},
        {Qt::Key_Right, false, 0x27},     {Qt::Key_Down, true, 0x28},       {Qt::Key_Home, false, 0x24},
        {Qt::Key_End, true, 0x23},        {Qt::Key_PageUp, false, 0x21},    {Qt::Key_PageDown, false, 0x22},
        {Qt::Key_Insert, false, 0x2D},    {Qt::Key_Delete, false, 0x2E},    {Qt::Key_Backspace, false, 0x08},
        {Qt::Key_Tab, false, 0x09},       {Qt::Key_Backtab, false, 0x09},   {Qt::Key_Return, false, 0x0D},
        {Qt::Key_Enter, true, 0x0D},      {Qt::Key_Escape, false, 0x1B},    {Qt::Key_Space, false, 0x20},
        {Qt::Key_Shift, false, 0x10},     {Qt::Key_Control, false, 0x11},   {Qt::Key_Alt, false, 0x12},
        {Qt::Key_Asterisk, true, 0x6A},   {Qt::Key_Plus, true, 0x6B},       {Qt::Key_Minus, true, 0x6D},
        {Qt::Key_Period, true, 0x6E},     {Qt::Key_Comma, true, 0x6E},      {Qt::Key_Slash, true, 0x6F},
        {Qt::Key_Plus, false, 0xBB},      {Qt::Key_Equal, false, 0xBB},     {Qt::Key_Minus, false, 0xBD},
        {Qt::Key_Underscore, false, 0xBD}, {Qt::Key_Period, false, 0xBE},   {Qt::Key_Comma, false, 0xBC},
        {Qt::Key_Slash, false, 0xBF},     {Qt::Key_Question, false, 0xBF},  {Qt::Key_Semicolon, false, 0xBA},
        {Qt::Key_QuoteLeft, false, 0xC0}, {Qt::Key_BracketLeft, false, 0xDB}, {Qt::Key_Backslash, false, 0xDC},
        {Qt::Key_BracketRight, false, 0xDD}, {Qt::Key_Apostrophe, false, 0xDE}, {Qt::Key_Asterisk, false, 0x38},
        {Qt::Key_Exclam, false, 0x31},    {Qt::Key_ParenRight, false, 0x30},
        // No Windows key to name.
        {Qt::Key_unknown, false, 0},      {0, false, 0},                    {Qt::Key_Adiaeresis, false, 0},
        {Qt::Key_VolumeUp, false, 0},     {Qt::Key_F25, false, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(WindowsVirtualKey(c.key, c.keypad), c.vk)
            << "Qt key 0x" << std::hex << c.key << (c.keypad ? " (keypad)" : "");
}

} // namespace
} // namespace hg
