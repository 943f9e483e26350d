#include "mainwindow/PictureKit.h"

#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <numbers>

namespace mainwindow::pictures {
namespace {

QPen outline(const QColor& color, double width) {
    QPen pen(color.darker(170), width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

double strokeFor(const QRectF& box) { return std::max(1.0, box.width() / 14.0); }

}  // namespace

QPixmap Canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

PictureList::PictureList(int size, PainterMap painters) : size_(size), painters_(std::move(painters)) {}

QPixmap PictureList::get(std::string_view key) {
    if (auto it = drawn_.find(key); it != drawn_.end()) return it->second;
    const auto found = painters_.find(key);
    if (found == painters_.end()) return QPixmap();
    QPixmap pixmap = Canvas(size_);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        found->second(p, size_);
    }
    return drawn_.emplace(std::string(key), pixmap).first->second;
}

void Envelope(QPainter& p, const QRectF& body, const QColor& fill) {
    const double w = strokeFor(body);
    p.setPen(outline(fill, w));
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, fill.lighter(135));
    shade.setColorAt(1, fill);
    p.setBrush(shade);
    p.drawRoundedRect(body, body.width() / 10, body.width() / 10);
    const QPointF fold(body.center().x(), body.top() + body.height() * 0.58);
    p.drawPolyline(QPolygonF{body.topLeft() + QPointF(w, w), fold, body.topRight() + QPointF(-w, w)});
}

void Arrow(QPainter& p, QPointF centre, double length, bool up, const QColor& color) {
    const double dir = up ? -1.0 : 1.0;
    const double half = length / 2, head = length * 0.45, shaft = length * 0.18;
    const QPointF tip = centre + QPointF(0, dir * half);
    const double base = tip.y() - dir * head;
    QPolygonF shape{tip,
                    {centre.x() + head, base},
                    {centre.x() + shaft, base},
                    {centre.x() + shaft, centre.y() - dir * half},
                    {centre.x() - shaft, centre.y() - dir * half},
                    {centre.x() - shaft, base},
                    {centre.x() - head, base}};
    p.setPen(outline(color, std::max(1.0, length / 12)));
    p.setBrush(color);
    p.drawPolygon(shape);
}

void Person(QPainter& p, const QRectF& box, const QColor& color) {
    p.setPen(outline(color, strokeFor(box)));
    p.setBrush(color);
    const double headR = box.width() * 0.2;
    p.drawEllipse(QPointF(box.center().x(), box.top() + headR + 1), headR, headR);
    QPainterPath shoulders;
    const QRectF torso(box.left() + box.width() * 0.12, box.top() + box.height() * 0.5, box.width() * 0.76,
                       box.height() * 0.9);
    shoulders.moveTo(torso.left(), box.bottom());
    shoulders.arcTo(torso, 180, -180);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

void Globe(QPainter& p, const QRectF& box, const QColor& color) {
    const double w = strokeFor(box);
    p.setPen(outline(color, w));
    QRadialGradient shade(box.center() - QPointF(box.width() / 5, box.height() / 5), box.width() * 0.7);
    shade.setColorAt(0, color.lighter(150));
    shade.setColorAt(1, color);
    p.setBrush(shade);
    p.drawEllipse(box);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color.darker(150), w * 0.8));
    p.drawEllipse(box.adjusted(box.width() * 0.3, 0, -box.width() * 0.3, 0));
    p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
    p.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
}

void Gear(QPainter& p, const QRectF& box, const QColor& color) {
    const QPointF c = box.center();
    const double outer = box.width() / 2, inner = outer * 0.72;
    QPolygonF teeth;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth * 4; ++i) {
        const double a = i * std::numbers::pi / (kTeeth * 2);
        const double r = (i % 4 < 2) ? outer : inner;
        teeth << c + QPointF(r * std::cos(a), r * std::sin(a));
    }
    p.setPen(outline(color, strokeFor(box)));
    p.setBrush(color);
    p.drawPolygon(teeth);
    p.setBrush(Qt::white);
    p.drawEllipse(c, outer * 0.3, outer * 0.3);
}

void Check(QPainter& p, const QRectF& box, const QColor& color) {
    QPen pen(color, std::max(1.5, box.width() / 5));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{box.left() + box.width() * 0.15, box.top() + box.height() * 0.55},
                             {box.left() + box.width() * 0.42, box.bottom() - box.height() * 0.15},
                             {box.right() - box.width() * 0.1, box.top() + box.height() * 0.15}});
}

void Cross(QPainter& p, const QRectF& box, const QColor& color) {
    QPen pen(color, std::max(1.5, box.width() / 5));
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    const QRectF r = box.adjusted(box.width() * 0.2, box.height() * 0.2, -box.width() * 0.2, -box.height() * 0.2);
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void Badge(QPainter& p, QPointF centre, double radius, const QColor& color) {
    p.setPen(QPen(Qt::white, std::max(1.0, radius / 4)));
    p.setBrush(color);
    p.drawEllipse(centre, radius, radius);
}

void ListLines(QPainter& p, const QRectF& box, const QColor& color) {
    p.setPen(outline(QColor(250, 250, 245), strokeFor(box)));
    p.setBrush(QColor(250, 250, 245));
    p.drawRoundedRect(box, box.width() / 12, box.width() / 12);
    QPen line(color, std::max(1.0, box.height() / 12));
    line.setCapStyle(Qt::RoundCap);
    p.setPen(line);
    for (int i = 1; i <= 4; ++i) {
        const double y = box.top() + box.height() * i / 5.0;
        p.drawLine(QPointF(box.left() + box.width() * 0.2, y), QPointF(box.right() - box.width() * 0.15, y));
    }
}

void SpeechBubble(QPainter& p, const QRectF& box, const QColor& color) {
    QPainterPath bubble;
    const QRectF oval(box.left(), box.top(), box.width(), box.height() * 0.75);
    bubble.addEllipse(oval);
    QPolygonF tail{{box.left() + box.width() * 0.25, oval.bottom() - box.height() * 0.1},
                   {box.left() + box.width() * 0.15, box.bottom()},
                   {box.left() + box.width() * 0.45, oval.bottom() - box.height() * 0.05}};
    bubble.addPolygon(tail);
    bubble.setFillRule(Qt::WindingFill);
    p.setPen(outline(color, strokeFor(box)));
    p.setBrush(color);
    p.drawPath(bubble.simplified());
}

void Clock(QPainter& p, const QRectF& box, const QColor& color) {
    p.setPen(outline(color, strokeFor(box)));
    p.setBrush(Qt::white);
    p.drawEllipse(box);
    QPen hand(color.darker(160), std::max(1.0, box.width() / 9));
    hand.setCapStyle(Qt::RoundCap);
    p.setPen(hand);
    const QPointF c = box.center();
    p.drawLine(c, c - QPointF(0, box.height() * 0.32));
    p.drawLine(c, c + QPointF(box.width() * 0.25, 0));
}

}  // namespace mainwindow::pictures
