// The vertical "Amplify level" slider of the main window: a scale on both
// sides of the track with coloured sections, a progress bar from the minimum
// up to the value and a round black thumb. Window thread only.
#pragma once

#include "app/ScaleWidgets.h"
#include "SliderScale.h"

#include <QWidget>

class TAmplifySlider : public QWidget, public hg::IScalable {
    Q_OBJECT
public:
    explicit TAmplifySlider(QWidget *parent = nullptr);

    int minimum() const { return range_.min; }
    int maximum() const { return range_.max; }
    int value() const { return value_; }
    // Sets the value, clamped into the range; emits changed() when it moved.
    void setValue(int value);
    // Sets the range (min < max) and clamps the value into it.
    void setRange(int min, int max);
    // The scale: `majors` major intervals, each of `minors` minor ones.
    void setScale(int majors, int minors);
    // Value at which the scale turns from the normal to the high colour.
    void setHighSection(int from);

    // Pixel centre of the thumb for the current value, in widget coordinates
    // (tests press and drag there).
    QPoint thumbCenter() const;

    // Grows or shrinks the track, thumb, ticks and gaps with the window.
    void scaleBy(int num, int den) override;
    // Tick line width in pixels (2 at the design size).
    int tickWidth() const { return m_.tickWidth; }
    int thumbDiameter() const { return m_.thumbDiameter; }

Q_SIGNALS:
    // Every change of the value, by the user or by setValue.
    void changed(int value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Sizes in pixels; the design values are for 96 PPI.
    struct Metrics {
        int trackWidth = 6;
        int thumbDiameter = 18;
        int shadowOffset = 2;
        int sectionGap = 12;   // track centre to the coloured section
        int sectionWidth = 3;
        int tickGap = 17;      // track centre to the start of the ticks
        int minorLength = 4;
        int majorLength = 8;
        int tickWidth = 2;
        int labelGap = 29;     // track centre to the labels
        int endMargin = 3;     // beyond half a thumb or half a label line
    };

    int trackTop() const;
    int trackLength() const;
    double valueToY(int value) const;
    int yToValue(double y) const;
    bool onThumb(QPointF p) const;

    hg::SliderRange range_{1000, 10000};
    int value_ = 1000;
    int majors_ = 9;
    int minors_ = 5;
    int highFrom_ = 9000;
    Metrics m_;
    bool dragging_ = false;
    double grabOffset_ = 0; // pointer y minus thumb centre y at the press
    bool hover_ = false;
    hg::WheelNotches wheel_;
};
