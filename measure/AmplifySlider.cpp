// The amplify slider (see AmplifySlider.h). Window thread only.
#include "AmplifySlider.h"

#include "app/DPIFunctions.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {


QColor WithAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// Colours of the scale sections.
const QColor kNormalSection(0x00, 0xFF, 0x00, 200); // lime
const QColor kHighSection(0xFF, 0x00, 0x00, 150);   // red

} // namespace

TAmplifySlider::TAmplifySlider(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
    setMouseTracking(true);
}

void TAmplifySlider::setValue(int value)
{
    const int v = hg::ClampSliderValue(value, range_);
    if (v == value_)
        return;
    value_ = v;
    update();
    Q_EMIT changed(value_);
}

void TAmplifySlider::setRange(int min, int max)
{
    if (min >= max)
        return;
    range_ = {min, max};
    const int v = hg::ClampSliderValue(value_, range_);
    update();
    if (v != value_) {
        value_ = v;
        Q_EMIT changed(value_);
    }
}

void TAmplifySlider::setScale(int majors, int minors)
{
    majors_ = std::max(1, majors);
    minors_ = std::max(1, minors);
    update();
}

void TAmplifySlider::setHighSection(int from)
{
    highFrom_ = from;
    update();
}

void TAmplifySlider::scaleBy(int num, int den)
{
    for (int *v : {&m_.trackWidth, &m_.thumbDiameter, &m_.shadowOffset, &m_.sectionGap,
                   &m_.sectionWidth, &m_.tickGap, &m_.minorLength, &m_.majorLength,
                   &m_.tickWidth, &m_.labelGap, &m_.endMargin})
        *v = std::max(1, hg::MulDiv(*v, num, den));
    update();
}

int TAmplifySlider::trackTop() const
{
    const int half = std::max(m_.thumbDiameter, fontMetrics().height()) / 2;
    return half + m_.endMargin;
}

int TAmplifySlider::trackLength() const
{
    return std::max(0, height() - 2 * trackTop());
}

double TAmplifySlider::valueToY(int value) const
{
    // The maximum is at the top.
    return trackTop() + trackLength() - hg::SliderValueToOffset(value, range_, trackLength());
}

int TAmplifySlider::yToValue(double y) const
{
    return hg::SliderOffsetToValue(trackTop() + trackLength() - y, range_, trackLength());
}

QPoint TAmplifySlider::thumbCenter() const
{
    return QPoint(width() / 2, static_cast<int>(std::lround(valueToY(value_))));
}

bool TAmplifySlider::onThumb(QPointF p) const
{
    const QPointF c(width() / 2.0, valueToY(value_));
    const double r = m_.thumbDiameter / 2.0 + 1;
    return std::abs(p.x() - c.x()) <= r && std::abs(p.y() - c.y()) <= r;
}

void TAmplifySlider::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setFont(font());

    const QPalette &pal = palette();
    const QColor text = pal.color(QPalette::ButtonText);
    const double cx = width() / 2.0;
    const double top = trackTop();
    const double bottom = top + trackLength();
    const double yHigh = valueToY(std::clamp(highFrom_, range_.min, range_.max));

    // Coloured sections, one strip on each side of the track.
    for (int side : {-1, 1}) {
        const double x0 = side < 0 ? cx - m_.sectionGap - m_.sectionWidth : cx + m_.sectionGap;
        p.fillRect(QRectF(x0, yHigh, m_.sectionWidth, bottom - yHigh), kNormalSection);
        p.fillRect(QRectF(x0, top, m_.sectionWidth, yHigh - top), kHighSection);
    }

    // Ticks, flat-capped so that their widths stay exact.
    QPen tickPen(WithAlpha(text, 150), m_.tickWidth, Qt::SolidLine, Qt::FlatCap);
    p.setPen(tickPen);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int ticks = majors_ * minors_;
    for (int i = 0; i <= ticks; ++i) {
        const double v = range_.min + static_cast<double>(range_.max - range_.min) * i / ticks;
        const double y = std::round(valueToY(static_cast<int>(std::lround(v))));
        const int len = i % minors_ == 0 ? m_.majorLength : m_.minorLength;
        p.drawLine(QPointF(cx - m_.tickGap - len, y), QPointF(cx - m_.tickGap, y));
        p.drawLine(QPointF(cx + m_.tickGap, y), QPointF(cx + m_.tickGap + len, y));
    }

    // Major labels: the magnification in per cent ("#0 %"), both sides.
    p.setPen(isEnabled() ? text : pal.color(QPalette::Disabled, QPalette::ButtonText));
    const QFontMetrics fm = fontMetrics();
    const int lineH = fm.height();
    const int sideWidth = std::max(0, static_cast<int>(cx) - m_.labelGap);
    for (int i = 0; i <= majors_; ++i) {
        const long long v = range_.min + static_cast<long long>(range_.max - range_.min) * i / majors_;
        const QString label = QString::number(v / 10) + QStringLiteral(" %");
        const int y = static_cast<int>(std::lround(valueToY(static_cast<int>(v)))) - lineH / 2;
        p.drawText(QRect(0, y, sideWidth, lineH), Qt::AlignRight | Qt::AlignVCenter, label);
        p.drawText(QRect(width() - sideWidth, y, sideWidth, lineH), Qt::AlignLeft | Qt::AlignVCenter,
                   label);
    }

    // Track and progress (minimum up to the value), with round ends.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    const double tw = m_.trackWidth;
    const QRectF track(cx - tw / 2, top - tw / 2, tw, bottom - top + tw);
    p.setBrush(WithAlpha(text, 50));
    p.drawRoundedRect(track, tw / 2, tw / 2);
    const double yValue = valueToY(value_);
    const QColor progress = isEnabled() ? pal.color(QPalette::Active, QPalette::Highlight)
                                        : pal.color(QPalette::Disabled, QPalette::Highlight);
    p.setBrush(progress);
    p.drawRoundedRect(QRectF(cx - tw / 2, yValue - tw / 2, tw, bottom - yValue + tw), tw / 2, tw / 2);

    // Thumb: a soft shadow below and to the right, then the black disc.
    const double d = m_.thumbDiameter;
    const QPointF c(cx, yValue);
    const QColor shadow = pal.color(QPalette::Shadow);
    for (int k = 3; k >= 1; --k) {
        const double grow = k * 0.75;
        p.setBrush(WithAlpha(shadow, 40));
        p.drawEllipse(c + QPointF(m_.shadowOffset / 2.0, m_.shadowOffset), d / 2 + grow, d / 2 + grow);
    }
    // Black; the button-shadow colour when disabled.
    p.setBrush(isEnabled() ? QColor(Qt::black) : pal.color(QPalette::Dark));
    p.drawEllipse(c, d / 2, d / 2);
    // A small highlight dot that shows where the value is read.
    const double dot = std::max(2.0, d / 6);
    p.setBrush(dragging_ ? progress : WithAlpha(Qt::white, 170));
    p.drawEllipse(c, dot, dot);
}

void TAmplifySlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !onThumb(event->position())) {
        // A press beside the thumb does nothing.
        event->accept();
        return;
    }
    dragging_ = true;
    grabOffset_ = event->position().y() - valueToY(value_);
    update();
    event->accept();
}

void TAmplifySlider::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging_)
        setValue(yToValue(event->position().y() - grabOffset_));
    const bool over = onThumb(event->position());
    if (over != hover_) {
        hover_ = over;
        setCursor(over ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    event->accept();
}

void TAmplifySlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && dragging_) {
        setValue(yToValue(event->position().y() - grabOffset_));
        dragging_ = false;
        update();
    }
    event->accept();
}

void TAmplifySlider::wheelEvent(QWheelEvent *event)
{
    // Qt counts a notch away from the user as +120 and towards the user as
    // -120; a notch towards the user raises the value, so the sign flips.
    const int notches = wheel_.add(-event->angleDelta().y());
    if (notches != 0)
        setValue(static_cast<int>(hg::ClampSliderValue(static_cast<long long>(value_) + notches, range_)));
    event->accept();
}

void TAmplifySlider::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled() && dragging_)
        dragging_ = false;
    QWidget::changeEvent(event);
}
