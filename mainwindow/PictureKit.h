#pragma once
// Small drawing primitives for the program's own pictures (tray, status bar, toolbar,
// tabs). Every picture is drawn at run time on a transparent pixmap; none comes from
// a file. Sizes are in pixels of a square canvas.

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRectF>

namespace mainwindow::pictures {

// A transparent square canvas of `size` pixels, ready for antialiased drawing.
QPixmap Canvas(int size);

void Envelope(QPainter& p, const QRectF& body, const QColor& fill);
// An arrow pointing up or down, `length` long, centred on `centre`.
void Arrow(QPainter& p, QPointF centre, double length, bool up, const QColor& color);
void Person(QPainter& p, const QRectF& box, const QColor& color);
void Globe(QPainter& p, const QRectF& box, const QColor& color);
void Gear(QPainter& p, const QRectF& box, const QColor& color);
void Check(QPainter& p, const QRectF& box, const QColor& color);
void Cross(QPainter& p, const QRectF& box, const QColor& color);
// A filled circle with a white outline, for marks drawn over another picture.
void Badge(QPainter& p, QPointF centre, double radius, const QColor& color);
void ListLines(QPainter& p, const QRectF& box, const QColor& color);
void SpeechBubble(QPainter& p, const QRectF& box, const QColor& color);
void Clock(QPainter& p, const QRectF& box, const QColor& color);

}  // namespace mainwindow::pictures
