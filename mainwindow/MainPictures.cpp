#include "mainwindow/MainPictures.h"

#include <functional>
#include <map>
#include <string>

#include "mainwindow/PictureKit.h"

namespace mainwindow {
namespace pk = pictures;
namespace {

using pk::Painter;
using pk::PainterMap;
using pk::PictureList;

const QColor kRestBlue(96, 125, 160);
const QColor kCollectBlue(52, 120, 205);
const QColor kSendGreen(60, 160, 90);
const QColor kNewOrange(240, 170, 40);
const QColor kWaitPurple(140, 95, 185);
const QColor kAlertRed(215, 50, 45);

QRectF envelopeBody(double s) { return QRectF(s * 0.06, s * 0.3, s * 0.72, s * 0.56); }

// An envelope with an arrow beside it that moves one step per frame.
Painter movingArrow(const QColor& color, bool up, int frame) {
    return [=](QPainter& p, double s) {
        pk::Envelope(p, envelopeBody(s), color);
        const double step = s * 0.12 * (frame - 1);
        const double y = up ? s * 0.72 - step : s * 0.28 + step;
        pk::Arrow(p, QPointF(s * 0.82, y), s * 0.42, up, color.darker(130));
    };
}

Painter blinkingBadge(const QColor& envelope, const QColor& badge, bool lit) {
    return [=](QPainter& p, double s) {
        pk::Envelope(p, envelopeBody(s), lit ? envelope : envelope.lighter(125));
        pk::Badge(p, QPointF(s * 0.76, s * 0.26), s * (lit ? 0.22 : 0.16), badge);
    };
}

PainterMap trayPainters() {
    PainterMap m;
    m["R"] = [](QPainter& p, double s) { pk::Envelope(p, QRectF(s * 0.1, s * 0.2, s * 0.8, s * 0.6), kRestBlue); };
    for (int f = 1; f <= 4; ++f) {
        m["D" + std::to_string(f)] = movingArrow(kCollectBlue, false, f);
        m["U" + std::to_string(f)] = movingArrow(kSendGreen, true, f);
    }
    m["N1"] = blinkingBadge(kNewOrange, kAlertRed, true);
    m["N2"] = blinkingBadge(kNewOrange, kAlertRed, false);
    m["A1"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelopeBody(s), kWaitPurple);
        pk::Person(p, QRectF(s * 0.56, s * 0.04, s * 0.4, s * 0.44), kNewOrange);
    };
    m["A2"] = [](QPainter& p, double s) {
        pk::Envelope(p, envelopeBody(s), kWaitPurple.lighter(125));
        pk::Person(p, QRectF(s * 0.6, s * 0.08, s * 0.32, s * 0.36), kNewOrange.lighter(120));
    };
    return m;
}

PainterMap statusPainters() {
    PainterMap m;
    m["GetMail"] = movingArrow(kCollectBlue, false, 1);
    m["SendMail"] = movingArrow(kSendGreen, true, 1);
    m["NewMessages"] = blinkingBadge(kNewOrange, kAlertRed, true);
    return m;
}

PainterMap toolbarPainters() {
    PainterMap m;
    m["Individuals"] = [](QPainter& p, double s) {
        pk::Person(p, QRectF(s * 0.45, s * 0.1, s * 0.5, s * 0.6), kWaitPurple);
        pk::Person(p, QRectF(s * 0.05, s * 0.25, s * 0.55, s * 0.7), kCollectBlue);
    };
    m["Domains"] = [](QPainter& p, double s) { pk::Globe(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), kSendGreen); };
    m["Rules"] = [](QPainter& p, double s) {
        pk::ListLines(p, QRectF(s * 0.14, s * 0.08, s * 0.66, s * 0.84), kRestBlue);
        pk::Check(p, QRectF(s * 0.5, s * 0.5, s * 0.45, s * 0.45), kSendGreen);
    };
    m["Options"] = [](QPainter& p, double s) { pk::Gear(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), kRestBlue); };
    m["CheckMail"] = movingArrow(kCollectBlue, false, 2);
    m["HomePage"] = [](QPainter& p, double s) {
        pk::Globe(p, QRectF(s * 0.08, s * 0.08, s * 0.72, s * 0.72), kCollectBlue);
        pk::Envelope(p, QRectF(s * 0.45, s * 0.55, s * 0.5, s * 0.38), kNewOrange);
    };
    m["Tell"] = [](QPainter& p, double s) {
        pk::SpeechBubble(p, QRectF(s * 0.06, s * 0.1, s * 0.88, s * 0.8), kNewOrange);
        pk::Person(p, QRectF(s * 0.32, s * 0.16, s * 0.36, s * 0.44), kWaitPurple);
    };
    return m;
}

Painter personWith(const QColor& color, const Painter& mark) {
    return [=](QPainter& p, double s) {
        pk::Person(p, QRectF(s * 0.05, s * 0.05, s * 0.7, s * 0.9), color);
        if (mark) mark(p, s);
    };
}

PainterMap tabPainters() {
    PainterMap m;
    auto scaled = [](double s) { return QRectF(s * 0.5, s * 0.5, s * 0.5, s * 0.5); };
    m["UserUnknown"] = personWith(QColor(150, 150, 150), nullptr);
    m["UserWaitingAuth"] = personWith(kNewOrange, [=](QPainter& p, double s) { pk::Clock(p, scaled(s), kWaitPurple); });
    m["UserRegistered"] = personWith(kCollectBlue, [=](QPainter& p, double s) { pk::Check(p, scaled(s), kSendGreen); });
    m["UserBlocked"] =
        personWith(QColor(120, 120, 120), [=](QPainter& p, double s) { pk::Cross(p, scaled(s), kAlertRed); });
    m["UserAll"] = [](QPainter& p, double s) {
        pk::Person(p, QRectF(s * 0.35, 0, s * 0.6, s * 0.8), kWaitPurple);
        pk::Person(p, QRectF(0, s * 0.2, s * 0.65, s * 0.8), kCollectBlue);
    };
    m["UserMessages"] = [](QPainter& p, double s) { pk::Envelope(p, QRectF(0, s * 0.2, s, s * 0.65), kRestBlue); };
    m["DomainOk"] = [=](QPainter& p, double s) {
        pk::Globe(p, QRectF(0, 0, s * 0.8, s * 0.8), kSendGreen);
        pk::Check(p, scaled(s), kCollectBlue);
    };
    m["DomainBlocked"] = [=](QPainter& p, double s) {
        pk::Globe(p, QRectF(0, 0, s * 0.8, s * 0.8), QColor(130, 130, 130));
        pk::Cross(p, scaled(s), kAlertRed);
    };
    return m;
}

}  // namespace

QPixmap TrayPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new PictureList(kTrayPictureSize, trayPainters());
    return list->get(key);
}

int TrayFrameCount(TrayState state) {
    if (state == TrayState::Rest || state == TrayState::RestAtOnce) return 0;
    int frames = 0;
    while (!TrayPicture(TrayFrameKey(state, frames + 1)).isNull()) ++frames;
    return frames;
}

QPixmap StatusBarPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new PictureList(kStatusPictureSize, statusPainters());
    return list->get(key);
}

QPixmap ToolbarPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new PictureList(kToolbarPictureSize, toolbarPainters());
    return list->get(key);
}

QPixmap TabPicture(std::string_view key) {
    // Kept to the end of the program: pixmaps must not outlive the application object.
    static auto* list = new PictureList(kTabPictureSize, tabPainters());
    return list->get(key);
}

}  // namespace mainwindow
