#pragma once
// Page 4 of the main window, "Options": the frame frOptions with the options buttons
// bOptions(1) to bOptions(4) (the tab the options dialog opens on: 1 general,
// 2 e-mail accounts, 3 aliases, 4 message texts) and the text
// lOptionsDialogDescription; the frame frAddresses with the button
// bImportAddressBook and the text lImportABDescription.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>

namespace mainwindow {

class OptionsPage : public QWidget {
    Q_OBJECT

public:
    explicit OptionsPage(QWidget* parent = nullptr);

    // index 1 to 4; nullptr outside.
    QPushButton* bOptions(int index) const;
    QPushButton* bImportAddressBook() const { return import_; }

signals:
    void optionsClicked(int index);
    void importClicked();

private:
    QGroupBox* optionsFrame();
    QGroupBox* addressesFrame();

    std::array<QPushButton*, 4> options_{};
    QPushButton* import_ = nullptr;
};

}  // namespace mainwindow
