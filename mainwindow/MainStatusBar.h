#pragma once
// The main window's status bar: three panels with the keys "Caption", "SendMail" and
// "GetMail", each a picture and a text. "Caption" takes half of the window's width
// less 1000 twips, the other two a quarter each.

#include <QLabel>
#include <QStatusBar>

#include <array>
#include <string_view>

namespace mainwindow {

class MainStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit MainStatusBar(QWidget* parent = nullptr);

    // pictureKey names a status-bar picture (MainPictures.h); "" shows none. An
    // unknown panel key changes nothing.
    void setPanel(std::string_view key, std::string_view pictureKey, std::string_view text);
    QString panelText(std::string_view key) const;
    // The key of the picture shown, "" when none.
    QString panelPicture(std::string_view key) const;

    // Sizes the panels for a window `windowWidth` pixels wide.
    void fitPanels(int windowWidth);

private:
    struct Panel {
        QWidget* frame = nullptr;
        QLabel* picture = nullptr;
        QLabel* text = nullptr;
    };
    const Panel* find(std::string_view key) const;

    std::array<Panel, 3> panels_;
};

}  // namespace mainwindow
