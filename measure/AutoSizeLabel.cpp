// Self-sizing label (see AutoSizeLabel.h). Window thread only.
#include "AutoSizeLabel.h"

#include <QEvent>

TAutoSizeLabel::TAutoSizeLabel(Anchor anchor, QWidget *parent) : QLabel(parent), anchor_(anchor)
{
    setAlignment((anchor == Anchor::Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

void TAutoSizeLabel::setText(const QString &text)
{
    QLabel::setText(text);
    fitToText();
}

void TAutoSizeLabel::fitToText()
{
    const QSize s = sizeHint();
    const QRect g = geometry();
    const int left = anchor_ == Anchor::Right ? g.x() + g.width() - s.width() : g.x();
    if (QRect(left, g.y(), s.width(), s.height()) != g)
        setGeometry(left, g.y(), s.width(), s.height());
}

void TAutoSizeLabel::scaleBy(int, int)
{
    fitToText();
}

void TAutoSizeLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToText();
}
