// The senders grid's right-button menu for each kind of selection, as one table:
// per situation, the items that are shown, with their caption and enabled state.
#include "mainwindow/SendersMenuState.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace mainwindow;

// "name|caption|enabled" for every shown item, in menu order; separators as "-".
std::vector<std::string> shownItems(const IndividualsMenu& menu) {
    std::vector<std::string> out;
    for (const MenuItemState& i : menu.items) {
        if (!i.visible) continue;
        if (i.name.rfind("mDiv", 0) == 0) out.push_back("-");
        else out.push_back(i.name + "|" + i.caption + "|" + (i.enabled ? "on" : "off"));
    }
    return out;
}

IndividualsMenuInput single(int tab, SenderStatus status, std::size_t stored) {
    IndividualsMenuInput in;
    in.tab = tab;
    in.listsRows = true;
    in.address = "ann@x.org";
    in.domain = "x.org";
    in.status = status;
    in.storedMessages = stored;
    return in;
}

TEST(IndividualsMenuStateTable, EverySituation) {
    struct Case {
        std::string name;
        IndividualsMenuInput in;
        bool popup;
        std::vector<std::string> items;
    };
    IndividualsMenuInput severalRegistered = single(3, SenderStatus::Approved, 2);
    severalRegistered.several = true;
    IndividualsMenuInput severalBlocked = single(4, SenderStatus::Blocked, 0);
    severalBlocked.several = true;
    severalBlocked.domainItems = true;
    IndividualsMenuInput message = single(6, SenderStatus::Unknown, 0);
    IndividualsMenuInput inboxMessage = single(6, SenderStatus::Approved, 0);
    inboxMessage.messageInInBox = true;
    IndividualsMenuInput severalMessages = inboxMessage;
    severalMessages.several = true;
    IndividualsMenuInput placeholder;
    placeholder.tab = 2;
    IndividualsMenuInput messagesPlaceholder;
    messagesPlaceholder.tab = 6;
    IndividualsMenuInput withDomains = single(1, SenderStatus::Unknown, 1);
    withDomains.domainItems = true;

    const std::vector<Case> cases = {
        {"waiting sender with 3 messages",
         single(2, SenderStatus::WaitingAuth, 3),
         true,
         {"mPreviewMessages|View 3 message(s) from this sender|on", "mApproveSender|Approve ann@x.org and accept messages|on",
          "mDenySender|Block ann@x.org|on", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|on", "-",
          "mDeleteSender|Delete ann@x.org|on"}},
        {"registered sender without messages",
         single(3, SenderStatus::Approved, 0),
         true,
         {"mPreviewMessages|No messages from this sender|off", "mApproveSender|Approve ann@x.org and accept messages|off",
          "mDenySender|Block ann@x.org|on", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|off",
          "-", "mAddSender|Add sender|on", "mDeleteSender|Delete ann@x.org|on"}},
        {"blocked sender",
         single(4, SenderStatus::Blocked, 1),
         true,
         {"mPreviewMessages|View 1 message(s) from this sender|on", "mApproveSender|Approve ann@x.org and accept messages|on",
          "mDenySender|Block ann@x.org|off", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|on", "-",
          "mAddSender|Add sender|on", "mDeleteSender|Delete ann@x.org|on"}},
        {"several on Registered: approve off whatever the rows",
         severalRegistered,
         true,
         {"mPreviewMessages|View 2 message(s) from this sender|on",
          "mApproveSender|Approve selected senders and accept all their messages|off",
          "mDenySender|Block selected senders|on", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|on",
          "-", "mAddSender|Add sender|on", "mDeleteSender|Delete selected senders|on"}},
        {"several on Blocked, with the domain items live",
         severalBlocked,
         true,
         {"mPreviewMessages|No messages from this sender|off",
          "mApproveSender|Approve selected senders and accept all their messages|on",
          "mDenySender|Block selected senders|off", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|off",
          "-", "mAddSender|Add sender|on", "mDeleteSender|Delete selected senders|on", "-",
          "mApproveSendersDomain|Approve domains of selected senders|on",
          "mBlockMessagesFromThisDomain|Block domains of selected senders|on"}},
        {"one sender, domain items live",
         withDomains,
         true,
         {"mPreviewMessages|View 1 message(s) from this sender|on", "mApproveSender|Approve ann@x.org and accept messages|on",
          "mDenySender|Block ann@x.org|on", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|on", "-",
          "mDeleteSender|Delete ann@x.org|on", "-", "mApproveSendersDomain|Approve domain x.org|on",
          "mBlockMessagesFromThisDomain|Block domain x.org|on"}},
        {"one held message",
         message,
         true,
         {"mPreviewMessages|Preview message(s)|on", "mAcceptMessages2|Accept message(s)|on",
          "mRemoveMessages|Delete message(s)|on", "mApproveSender|Approve ann@x.org|on", "mDenySender|Block ann@x.org|on"}},
        {"one message in InBox from an approved sender",
         inboxMessage,
         true,
         {"mPreviewMessages|Preview message(s)|on", "mAcceptMessages2|Accept message(s)|off",
          "mRemoveMessages|Delete message(s)|on", "mApproveSender|Approve ann@x.org|off", "mDenySender|Block ann@x.org|on"}},
        {"several messages, one in InBox",
         severalMessages,
         true,
         {"mPreviewMessages|Preview message(s)|on", "mAcceptMessages2|Accept message(s)|on",
          "mRemoveMessages|Delete message(s)|on", "mApproveSender|Approve senders of these messages|on",
          "mDenySender|Block senders of these messages|on"}},
        {"placeholder on a sender tab",
         placeholder,
         true,
         {"mPreviewMessages|No messages from this sender|off", "mApproveSender|Approve sender|off",
          "mDenySender|Block sender|off", "-", "mAcceptMessages|Accept these messages (do not approve sender yet)|off", "-",
          "mDeleteSender|Delete sender|off"}},
        {"placeholder on the Messages tab", messagesPlaceholder, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IndividualsMenu menu = IndividualsMenuState(c.in);
        EXPECT_EQ(menu.popup, c.popup);
        if (c.popup) {
            EXPECT_EQ(shownItems(menu), c.items);
        }
        ASSERT_EQ(menu.items.size(), 13u) << "every item of the menu, shown or not";
    }
}

}  // namespace
