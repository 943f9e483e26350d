#include "mainwindow/MenuPictures.h"

#include <functional>
#include <map>
#include <string>

#include "mainwindow/PictureKit.h"

namespace mainwindow {
namespace pk = pictures;
namespace {


const QColor kMailBlue(96, 125, 160);
const QColor kCollectBlue(52, 120, 205);
const QColor kOkGreen(60, 160, 90);
const QColor kSenderPurple(140, 95, 185);
const QColor kStopRed(215, 50, 45);
const QColor kGrey(130, 130, 130);

// The corner where a mark goes over the main picture.
QRectF corner(double s) { return QRectF(s * 0.45, s * 0.45, s * 0.55, s * 0.55); }
QRectF envelope(double s) { return QRectF(s * 0.02, s * 0.18, s * 0.8, s * 0.58); }
QRectF person(double s) { return QRectF(0, 0, s * 0.72, s * 0.95); }
QRectF globe(double s) { return QRectF(0, 0, s * 0.78, s * 0.78); }

void plus(QPainter& p, const QRectF& box, const QColor& color) {
    pk::Badge(p, box.center(), box.width() / 2, color);
    p.setPen(QPen(Qt::white, std::max(1.0, box.width() / 5), Qt::SolidLine, Qt::RoundCap));
    const double r = box.width() * 0.28;
    p.drawLine(box.center() - QPointF(r, 0), box.center() + QPointF(r, 0));
    p.drawLine(box.center() - QPointF(0, r), box.center() + QPointF(0, r));
}

// A red ring with a bar across: "not allowed".
void noEntry(QPainter& p, const QRectF& box) {
    p.setPen(QPen(kStopRed, std::max(1.5, box.width() / 6)));
    p.setBrush(Qt::NoBrush);
    const QRectF ring = box.adjusted(box.width() * 0.1, box.height() * 0.1, -box.width() * 0.1, -box.height() * 0.1);
    p.drawEllipse(ring);
    p.drawLine(ring.topLeft() + QPointF(ring.width() * 0.15, ring.height() * 0.15),
               ring.bottomRight() - QPointF(ring.width() * 0.15, ring.height() * 0.15));
}

pk::PainterMap painters() {
    pk::PainterMap m;
    m["Open"] = [](QPainter& p, double s) { pk::Envelope(p, QRectF(s * 0.05, s * 0.2, s * 0.9, s * 0.62), kMailBlue); };
    m["CheckMail"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelope(s), kCollectBlue);
        pk::Arrow(p, QPointF(s * 0.8, s * 0.55), s * 0.55, false, kCollectBlue.darker(130));
    };
    m["Close"] = [](QPainter& p, double s) { pk::Cross(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), kStopRed); };
    m["MailPreview"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelope(s), kMailBlue);
        pk::ListLines(p, corner(s), kCollectBlue);
    };
    m["AcceptMessage"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelope(s), kMailBlue);
        pk::Check(p, corner(s), kOkGreen);
    };
    m["DeleteMessage"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelope(s), kMailBlue);
        pk::Cross(p, corner(s), kStopRed);
    };
    m["OkSender"] = [](QPainter& p, double s) {
        pk::Person(p, person(s), kCollectBlue);
        pk::Check(p, corner(s), kOkGreen);
    };
    m["BlockSender"] = [](QPainter& p, double s) {
        pk::Person(p, person(s), kGrey);
        noEntry(p, corner(s));
    };
    m["AddSender"] = [](QPainter& p, double s) {
        pk::Person(p, person(s), kSenderPurple);
        plus(p, corner(s), kOkGreen);
    };
    m["DeleteSender"] = [](QPainter& p, double s) {
        pk::Person(p, person(s), kSenderPurple);
        pk::Cross(p, corner(s), kStopRed);
    };
    m["OkDomain"] = [](QPainter& p, double s) {
        pk::Globe(p, globe(s), kOkGreen);
        pk::Check(p, corner(s), kCollectBlue);
    };
    m["BlockDomain"] = [](QPainter& p, double s) {
        pk::Globe(p, globe(s), kGrey);
        noEntry(p, corner(s));
    };
    return m;
}

}  // namespace

QPixmap MenuPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new pk::PictureList(kMenuPictureSize, painters());
    return list->get(key);
}

}  // namespace mainwindow
