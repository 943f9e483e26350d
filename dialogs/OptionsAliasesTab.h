#pragma once
// The "Aliases" tab of the options dialog: the user's further own addresses, each a
// full address or "*@domain" for every mailbox of a domain. Add checks the typed
// text; Delete asks first. Every change of the list emits edited().

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace dialogs {

class OptionsAliasesTab : public QWidget {
    Q_OBJECT

public:
    explicit OptionsAliasesTab(QWidget* parent = nullptr);

    void Fill(const std::vector<std::string>& aliases);
    std::vector<std::string> Aliases() const;

    // True when the text is accepted as an alias.
    static bool IsAcceptedAlias(const std::string& text);

    QLineEdit* tAliasEmailAddress = nullptr;
    QPushButton* AddButton = nullptr;
    QListWidget* lbAliases = nullptr;
    QPushButton* DeleteButton = nullptr;
    QLabel* lAliasesDescription = nullptr;

signals:
    void edited();

private:
    void addAlias();
    void deleteAlias();
};

}  // namespace dialogs
