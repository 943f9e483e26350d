#pragma once
// The senders grid's right-button menu (mIndividuals of SystrayMenuForm) for what is
// selected when it pops up: for every item its caption, whether it shows and whether
// it is enabled. A pure function of the selection, applied to the menu by the page.

#include <cstddef>
#include <string>
#include <vector>

#include "core/CSenders.h"

namespace mainwindow {

struct IndividualsMenuInput {
    int tab = 1;                   // 1 to 6 (6: Messages)
    bool listsRows = false;        // the grid has 6 columns
    bool several = false;          // more than one row is selected
    std::string address;           // single row: the row's sender
    std::string domain;            // the domain of that address
    SenderStatus status = SenderStatus::NotListed;  // of that address
    std::size_t storedMessages = 0;  // of the selection end's sender (sender tabs)
    bool messageInInBox = false;   // single message row lying in InBox
    bool domainItems = false;      // the domain items have targets
};

struct MenuItemState {
    std::string name;
    std::string caption;
    bool visible = true;
    bool enabled = true;
    bool operator==(const MenuItemState&) const = default;
};

struct IndividualsMenu {
    bool popup = false;  // false: no menu is shown
    std::vector<MenuItemState> items;  // every item of mIndividuals, in menu order
    const MenuItemState* find(const std::string& name) const;
};

IndividualsMenu IndividualsMenuState(const IndividualsMenuInput& in);

}  // namespace mainwindow
