#include "mainwindow/MainStatusBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QTextDocument>

#include "mainwindow/MainPictures.h"
#include "platform/Text8.h"

namespace mainwindow {
namespace {

constexpr std::array<std::string_view, 3> kPanelKeys = {"Caption", "SendMail", "GetMail"};
constexpr int kReservedTwips = 1000;
constexpr int kTwipsPerInch = 1440;
const char* const kPictureKeyProperty = "pictureKey";

QString name(std::string_view key) { return QString::fromLatin1(key.data(), static_cast<int>(key.size())); }

// A panel's text: what does not fit ends in "...", and the whole text is its tip.
class PanelText : public QLabel {
public:
    explicit PanelText(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        setToolTip(shown == text() ? QString() : Qt::convertFromPlainText(text(), Qt::WhiteSpaceNormal));
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
};

}  // namespace

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("MainStatusBar");
    for (std::size_t i = 0; i < kPanelKeys.size(); ++i) {
        auto* frame = new QFrame(this);
        frame->setObjectName("MainStatusBar_" + name(kPanelKeys[i]));
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        auto* row = new QHBoxLayout(frame);
        row->setContentsMargins(4, 1, 4, 1);
        row->setSpacing(4);
        auto* picture = new QLabel(frame);
        picture->setFixedSize(kStatusPictureSize, kStatusPictureSize);
        auto* text = new PanelText(frame);
        row->addWidget(picture);
        row->addWidget(text, 1);
        picture->hide();
        addWidget(frame, i == 0 ? 2 : 1);
        panels_[i] = Panel{frame, picture, text};
    }
}

const MainStatusBar::Panel* MainStatusBar::find(std::string_view key) const {
    for (std::size_t i = 0; i < kPanelKeys.size(); ++i)
        if (kPanelKeys[i] == key) return &panels_[i];
    return nullptr;
}

void MainStatusBar::setPanel(std::string_view key, std::string_view pictureKey, std::string_view text) {
    const Panel* panel = find(key);
    if (!panel) return;
    panel->text->setText(platform::FromText8(text));
    const QPixmap picture = pictureKey.empty() ? QPixmap() : StatusBarPicture(pictureKey);
    panel->picture->setPixmap(picture);
    panel->picture->setVisible(!picture.isNull());
    panel->picture->setProperty(kPictureKeyProperty, picture.isNull() ? QString() : name(pictureKey));
}

QString MainStatusBar::panelText(std::string_view key) const {
    const Panel* panel = find(key);
    return panel ? panel->text->text() : QString();
}

QString MainStatusBar::panelPicture(std::string_view key) const {
    const Panel* panel = find(key);
    return panel ? panel->picture->property(kPictureKeyProperty).toString() : QString();
}

void MainStatusBar::fitPanels(int windowWidth) {
    const int reserved = kReservedTwips * logicalDpiX() / kTwipsPerInch;
    const int usable = std::max(0, windowWidth - reserved);
    panels_[0].frame->setFixedWidth(usable / 2);
    panels_[1].frame->setFixedWidth(usable / 4);
    panels_[2].frame->setFixedWidth(usable / 4);
}

}  // namespace mainwindow
