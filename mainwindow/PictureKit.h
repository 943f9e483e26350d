#pragma once
// Small drawing primitives for the program's own pictures (tray, status bar, toolbar,
// tabs). Every picture is drawn at run time on a transparent pixmap; none comes from
// a file. Sizes are in pixels of a square canvas.

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRectF>

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace mainwindow::pictures {

// A transparent square canvas of `size` pixels, ready for antialiased drawing.
QPixmap Canvas(int size);

// Draws one picture on a canvas of the given size.
using Painter = std::function<void(QPainter&, double)>;
using PainterMap = std::map<std::string, Painter, std::less<>>;

// One list of pictures of one size: each drawn the first time it is asked for and
// kept; a null pixmap for a key the list does not know. Lists are kept to the end of
// the program, as pixmaps must not outlive the application object.
class PictureList {
public:
    PictureList(int size, PainterMap painters);
    QPixmap get(std::string_view key);

private:
    int size_;
    PainterMap painters_;
    std::map<std::string, QPixmap, std::less<>> drawn_;
};

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
