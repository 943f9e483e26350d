#include "mainwindow/SendersPictures.h"

#include <functional>
#include <map>
#include <string>

#include "mainwindow/PictureKit.h"

namespace mainwindow {

namespace pk = pictures;

namespace {

using pk::Painter;

const QColor kBlue(52, 120, 205);
const QColor kGreen(60, 160, 90);
const QColor kOrange(240, 170, 40);
const QColor kPurple(140, 95, 185);
const QColor kRed(215, 50, 45);
const QColor kGrey(130, 130, 130);

QRectF corner(double s) { return QRectF(s * 0.5, s * 0.5, s * 0.5, s * 0.5); }

Painter person(const QColor& color, std::function<void(QPainter&, double)> mark) {
    return [=](QPainter& p, double s) {
        pk::Person(p, QRectF(s * 0.02, s * 0.02, s * 0.72, s * 0.92), color);
        if (mark) mark(p, s);
    };
}

Painter envelope(const QColor& color, std::function<void(QPainter&, double)> mark) {
    return [=](QPainter& p, double s) {
        pk::Envelope(p, QRectF(s * 0.02, s * 0.18, s * 0.8, s * 0.6), color);
        if (mark) mark(p, s);
    };
}

const pk::PainterMap& painters() {
    static const pk::PainterMap m = {
        {"UserOk", person(kBlue, [](QPainter& p, double s) { pk::Check(p, corner(s), kGreen); })},
        {"UserUnknown", person(kGrey, nullptr)},
        {"UserWaitingAuth", person(kOrange, [](QPainter& p, double s) { pk::Clock(p, corner(s), kPurple); })},
        {"UserBlocked", person(kGrey, [](QPainter& p, double s) { pk::Cross(p, corner(s), kRed); })},
        {"MessageOk", envelope(kBlue, [](QPainter& p, double s) { pk::Check(p, corner(s), kGreen); })},
        {"MessageUnknown", envelope(kOrange, [](QPainter& p, double s) { pk::Clock(p, corner(s), kPurple); })},
        {"MessageDeleted", envelope(kGrey, [](QPainter& p, double s) { pk::Cross(p, corner(s), kRed); })},
        {"Ok", person(kBlue, [](QPainter& p, double s) { pk::Check(p, corner(s), kGreen); })},
        {"Block", person(kGrey, [](QPainter& p, double s) { pk::Cross(p, corner(s), kRed); })},
        {"UserAdd", person(kGreen, [](QPainter& p, double s) { pk::Badge(p, QPointF(s * 0.78, s * 0.78), s * 0.2, kGreen); })},
        {"UserDelete", person(kPurple, [](QPainter& p, double s) { pk::Badge(p, QPointF(s * 0.78, s * 0.78), s * 0.2, kRed); })},
        {"PreviewMessages", envelope(kBlue, [](QPainter& p, double s) { pk::ListLines(p, corner(s), kPurple); })},
    };
    return m;
}

}  // namespace

QPixmap SendersRowPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new pk::PictureList(kSendersRowPictureSize, painters());
    return list->get(key);
}

QPixmap SendersButtonPicture(std::string_view key) {
    static auto* list = new pk::PictureList(kSendersButtonSize, painters());
    return list->get(key);
}

}  // namespace mainwindow
