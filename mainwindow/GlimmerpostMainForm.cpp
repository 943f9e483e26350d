#include "mainwindow/GlimmerpostMainForm.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "core/CIniFile.h"
#include "core/Log.h"
#include "mainwindow/DomainsPage.h"
#include "mainwindow/MainPictures.h"
#include "mainwindow/MainStatusBar.h"
#include "mainwindow/MainToolBar.h"
#include "mainwindow/OptionsPage.h"
#include "mainwindow/RulesPage.h"
#include "mainwindow/SendersPage.h"
#include "platform/FormResourcesApply.h"
#include "platform/ProgressDisplay.h"
#include "platform/Text8.h"
#include "platform/WebPages.h"

namespace mainwindow {
namespace {

constexpr int kDesignWidth = 720;
constexpr int kDesignHeight = 500;
// Room around the pages: 200 twips across, as the pages were designed.
constexpr int kPageMargin = 7;

QLabel* progressLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QProgressBar* progressBar(const char* name, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    bar->setMaximumHeight(16);
    return bar;
}

void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

}  // namespace

GlimmerpostMainForm::GlimmerpostMainForm(MainFormIdentity identity, MainFormHooks hooks, QWidget* parent)
    : QMainWindow(parent), identity_(std::move(identity)), hooks_(std::move(hooks)) {
    setObjectName("GlimmerpostMainForm");
    setWindowTitle(platform::FromText8(identity_.caption));
    setWindowIcon(QIcon(TrayPicture("R")));
    // The program lives on in the tray when its window is hidden; only ShutDown ends it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    toolBar_ = new MainToolBar(this);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    statusBar_ = new MainStatusBar(this);
    setStatusBar(statusBar_);
    setCentralWidget(buildCentre());
    activity_ = new ActivityDisplay(this, statusBar_, this);
    activity_->setWaitingSenders(hooks_.waitingSenders);
    connect(activity_, &ActivityDisplay::failuresChanged, this, &GlimmerpostMainForm::showFailures);
    connectParts();
    const QSize screenSize = screen() ? screen()->size() : designSize();
    setMinimumSize(designSize().boundedTo(screenSize));
    setMaximumSize(screenSize);
    resize(designSize());
    ShowPage(1);
}

GlimmerpostMainForm::~GlimmerpostMainForm() = default;

QSize GlimmerpostMainForm::designSize() { return QSize(kDesignWidth, kDesignHeight); }

QWidget* GlimmerpostMainForm::buildCentre() {
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, 2);
    column->setSpacing(4);
    pages_ = new QStackedWidget(centre);
    pages_->setObjectName("MainFormPages");
    senders_ = new SendersPage(pages_);
    domains_ = new DomainsPage(pages_);
    rules_ = new RulesPage(pages_);
    options_ = new OptionsPage(pages_);
    for (QWidget* p : {static_cast<QWidget*>(senders_), static_cast<QWidget*>(domains_),
                       static_cast<QWidget*>(rules_), static_cast<QWidget*>(options_)})
        pages_->addWidget(p);
    column->addWidget(pages_, 1);
    failureLine_ = new QLabel(centre);
    failureLine_->setObjectName("lblFailures");
    failureLine_->setTextFormat(Qt::PlainText);
    failureLine_->setWordWrap(true);
    failureLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    failureLine_->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    failureLine_->setMargin(4);
    failureLine_->setStyleSheet("QLabel#lblFailures { color: #8b0000; background: #fff4f0; }");
    failureLine_->hide();
    column->addWidget(failureLine_);
    column->addWidget(buildProgressRow(centre));
    return centre;
}

QWidget* GlimmerpostMainForm::buildProgressRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    QLabel* label1 = progressLabel("lblProgress", row);
    QProgressBar* bar1 = progressBar("prgProgress", row);
    QLabel* label2 = progressLabel("lblProgress2", row);
    QProgressBar* bar2 = progressBar("prgProgress2", row);
    // Each label a fifth of the row and each bar three tenths, as the progress display
    // has them below the grid.
    line->addWidget(label1, 2);
    line->addWidget(bar1, 3);
    line->addWidget(label2, 2);
    line->addWidget(bar2, 3);
    for (QWidget* w : {static_cast<QWidget*>(label1), static_cast<QWidget*>(bar1), static_cast<QWidget*>(label2),
                       static_cast<QWidget*>(bar2)})
        keepPlaceWhenHidden(w);
    modProgress::AttachCollectControls(label1, bar1);
    modProgress::AttachSendControls(label2, bar2);
    modProgress::HideCollectProgress();
    modProgress::HideSendProgress();
    return row;
}

void GlimmerpostMainForm::connectParts() {
    connect(toolBar_, &MainToolBar::buttonClicked, this, &GlimmerpostMainForm::MainToolBar_ButtonClick);
    connect(toolBar_, &MainToolBar::buttonMenuClicked, this, &GlimmerpostMainForm::MainToolBar_ButtonMenuClick);
    connect(options_, &OptionsPage::optionsClicked, this, &GlimmerpostMainForm::bOptions_Click);
    connect(options_, &OptionsPage::importClicked, this, &GlimmerpostMainForm::bImportAddressBook_Click);
}

void GlimmerpostMainForm::showFailures() {
    const std::string details = activity_->failureDetails();
    failureLine_->setText(platform::FromText8(details));
    failureLine_->setVisible(!details.empty());
}

void GlimmerpostMainForm::ApplyResources(const CIniFile& resources) {
    MiscFuncs::ApplyFormResources(this, resources);
}

void GlimmerpostMainForm::SetListIcons() {
    QTabBar* senders = senders_->tsSenders()->tabs();
    for (int i = 0; i < senders->count(); ++i)
        senders->setTabIcon(i, QIcon(TabPicture(("User" + senders_->tsSenders()->keyAt(i)).toStdString())));
    QTabBar* domains = domains_->tsDomains()->tabs();
    for (int i = 0; i < domains->count(); ++i)
        domains->setTabIcon(i, QIcon(TabPicture(("Domain" + domains_->tsDomains()->keyAt(i)).toStdString())));
}

QWidget* GlimmerpostMainForm::page(int number) const {
    return number >= 1 && number <= kPages ? pages_->widget(number - 1) : nullptr;
}

void GlimmerpostMainForm::ShowPage(int number) {
    if (number < 1 || number > kPages) return;
    if (number != currentPage_ || pages_->currentIndex() != number - 1) {
        pages_->setCurrentIndex(number - 1);
        currentPage_ = number;
    }
    toolBar_->pressPage(number);
}

void GlimmerpostMainForm::RestoreGeometry(std::optional<int> width, std::optional<int> height,
                                          std::optional<int> x, std::optional<int> y) {
    QSize size = this->size();
    if (width) size.setWidth(*width);
    if (height) size.setHeight(*height);
    resize(size.expandedTo(minimumSize()).boundedTo(maximumSize()));
    QPoint at = pos();
    if (x) at.setX(*x);
    if (y) at.setY(*y);
    move(at);
    recordGeometry();
}

bool GlimmerpostMainForm::hiddenOrMinimised() const { return isMinimized() || !isVisible(); }

void GlimmerpostMainForm::recordGeometry() {
    if (isMinimized()) return;
    recorded_ = WindowGeometry{pos().x(), pos().y(), width(), height()};
}

void GlimmerpostMainForm::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    recordGeometry();
    // The window's own width: a maximising resize may report the size it had before.
    statusBar_->fitPanels(width());
}

void GlimmerpostMainForm::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    recordGeometry();
}

void GlimmerpostMainForm::notAvailable(const char* what) const {
    MiscFuncs::WriteLog(0, "!", std::string(what) + " is not available");
}

void GlimmerpostMainForm::MainToolBar_ButtonClick(int index) {
    if (index >= 1 && index <= kPages) return ShowPage(index);
    if (index == 5) return mCheckNewMail_Click();
    if (index == 6) {
        if (!platform::OpenWebPage(identity_.productPage)) notAvailable("The product's web page");
        return;
    }
    if (index == 7) cmdTell_Click();
}

void GlimmerpostMainForm::MainToolBar_ButtonMenuClick(const QString& key) {
    if (key == "About") {
        if (hooks_.showAbout) hooks_.showAbout();
        else notAvailable("The about box");
    } else if (key == "OnlineHLP") {
        if (!platform::OpenWebPage(identity_.helpPage)) notAvailable("The online help");
    } else if (key == "TellAFriend") {
        cmdTell_Click();
    } else if (key == "SendFeedback") {
        cmdFeedback_Click();
    }
}

void GlimmerpostMainForm::bOptions_Click(int index) {
    if (hooks_.showOptions) hooks_.showOptions(index);
    else notAvailable("The options dialog");
}

void GlimmerpostMainForm::bImportAddressBook_Click() {
    if (hooks_.importAddressBook) hooks_.importAddressBook();
    else notAvailable("The address-book import");
}

void GlimmerpostMainForm::cmdFeedback_Click() {
    if (hooks_.sendFeedback) hooks_.sendFeedback();
    else notAvailable("The feedback form");
}

void GlimmerpostMainForm::cmdTell_Click() {
    if (hooks_.tellAFriend) hooks_.tellAFriend();
    else notAvailable("The tell-a-friend form");
}

}  // namespace mainwindow
