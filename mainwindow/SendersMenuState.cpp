#include "mainwindow/SendersMenuState.h"

#include "mainwindow/SendersGridFill.h"

namespace mainwindow {

namespace {

// The items in menu order with their captions as designed.
const std::vector<MenuItemState>& designed() {
    static const std::vector<MenuItemState> items = {
        {"mPreviewMessages", "Sender's messages"},
        {"mAcceptMessages2", "Accept message(s)"},
        {"mRemoveMessages", "Delete message(s)"},
        {"mApproveSender", "Approve sender"},
        {"mDenySender", "Block sender"},
        {"mDiv3", ""},
        {"mAcceptMessages", "Accept these messages (do not approve sender yet)"},
        {"mDiv2", ""},
        {"mAddSender", "Add sender"},
        {"mDeleteSender", "Delete sender"},
        {"mDiv4", ""},
        {"mApproveSendersDomain", "Approve sender's domain"},
        {"mBlockMessagesFromThisDomain", "Block sender's domain"},
    };
    return items;
}

class Items {
public:
    explicit Items(std::vector<MenuItemState>& items) : items_(items) {}
    MenuItemState& operator[](const std::string& name) {
        for (MenuItemState& i : items_)
            if (i.name == name) return i;
        static MenuItemState none;
        return none;
    }
    void hide(std::initializer_list<const char*> names) {
        for (const char* n : names) (*this)[n].visible = false;
    }
    void enable(std::initializer_list<const char*> names, bool on) {
        for (const char* n : names) (*this)[n].enabled = on;
    }

private:
    std::vector<MenuItemState>& items_;
};

void senderTab(const IndividualsMenuInput& in, Items& m) {
    m.hide({"mAcceptMessages2", "mRemoveMessages"});
    if (!in.listsRows) {
        m.enable({"mApproveSender", "mDeleteSender", "mDenySender", "mApproveSendersDomain",
                  "mBlockMessagesFromThisDomain", "mPreviewMessages", "mAcceptMessages"},
                 false);
        m["mPreviewMessages"].caption = "No messages from this sender";
        return;
    }
    if (in.several) {
        m["mApproveSender"].enabled = in.tab != SendersTab::Registered;
        m["mApproveSender"].caption = "Approve selected senders and accept all their messages";
        m["mDeleteSender"].caption = "Delete selected senders";
        m["mDenySender"].enabled = in.tab != SendersTab::Blocked;
        m["mDenySender"].caption = "Block selected senders";
        m["mBlockMessagesFromThisDomain"].caption = "Block domains of selected senders";
        m["mApproveSendersDomain"].caption = "Approve domains of selected senders";
    } else {
        m["mApproveSender"].enabled = in.status != SenderStatus::Approved;
        m["mApproveSender"].caption = "Approve " + in.address + " and accept messages";
        m["mDeleteSender"].caption = "Delete " + in.address;
        m["mDenySender"].enabled = in.status != SenderStatus::Blocked;
        m["mDenySender"].caption = "Block " + in.address;
        m["mBlockMessagesFromThisDomain"].caption = "Block domain " + in.domain;
        m["mApproveSendersDomain"].caption = "Approve domain " + in.domain;
    }
    if (in.storedMessages < 1) {
        m["mPreviewMessages"].caption = "No messages from this sender";
        m.enable({"mPreviewMessages", "mAcceptMessages"}, false);
    } else {
        m["mPreviewMessages"].caption = "View " + std::to_string(in.storedMessages) + " message(s) from this sender";
    }
}

void messagesTab(const IndividualsMenuInput& in, Items& m) {
    m.hide({"mDiv2", "mDiv3", "mDiv4", "mAcceptMessages", "mDeleteSender", "mApproveSendersDomain",
            "mBlockMessagesFromThisDomain", "mAddSender"});
    if (in.several) {
        m["mApproveSender"].caption = "Approve senders of these messages";
        m["mDenySender"].caption = "Block senders of these messages";
    } else {
        m["mAcceptMessages2"].enabled = !in.messageInInBox;
        m["mApproveSender"].enabled = in.status != SenderStatus::Approved;
        m["mApproveSender"].caption = "Approve " + in.address;
        m["mDenySender"].enabled = in.status != SenderStatus::Blocked;
        m["mDenySender"].caption = "Block " + in.address;
    }
    m["mPreviewMessages"].caption = "Preview message(s)";
    m["mAcceptMessages"].enabled = false;
}

}  // namespace

const MenuItemState* IndividualsMenu::find(const std::string& name) const {
    for (const MenuItemState& i : items)
        if (i.name == name) return &i;
    return nullptr;
}

IndividualsMenu IndividualsMenuState(const IndividualsMenuInput& in) {
    IndividualsMenu menu;
    menu.items = designed();
    Items m(menu.items);
    // "Add sender" stores a sender on the Registered and Blocked tabs only.
    const bool adds = in.tab == SendersTab::Registered || in.tab == SendersTab::Blocked;
    m["mAddSender"].visible = adds;
    m["mAddSender"].enabled = adds;
    if (!in.domainItems) m.hide({"mDiv4", "mApproveSendersDomain", "mBlockMessagesFromThisDomain"});
    if (in.tab == SendersTab::Messages) {
        if (!in.listsRows) return menu;
        messagesTab(in, m);
    } else {
        senderTab(in, m);
    }
    menu.popup = true;
    return menu;
}

}  // namespace mainwindow
