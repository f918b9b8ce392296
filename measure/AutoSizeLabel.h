// A label that sizes itself to its text and keeps one edge where it is: the
// right edge for a right-aligned label (it grows to the left), the left edge
// otherwise. Window thread only.
#pragma once

#include "app/ScaleWidgets.h"

#include <QLabel>

class TAutoSizeLabel : public QLabel, public hg::IScalable {
    Q_OBJECT
public:
    enum class Anchor { Left, Right };

    TAutoSizeLabel(Anchor anchor, QWidget *parent = nullptr);

    // Sets the text and fits the label to it, keeping the anchored edge.
    void setText(const QString &text);
    // Fits the label to its text again, keeping the anchored edge.
    void fitToText();
    // After the window's scaling has moved and resized the label (and
    // scaled its font): fits it to the text again at the scaled edge.
    void scaleBy(int num, int den) override;

protected:
    void changeEvent(QEvent *event) override;

private:
    Anchor anchor_;
};
