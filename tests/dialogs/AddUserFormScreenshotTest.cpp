// Draws the new-sender editor with data offscreen and saves it as newsender.png in the
// build folder, so that a reviewer can look at it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>

#include <filesystem>

#include "dialogs/AddUserForm.h"
#include "support/Screenshot.h"

TEST(AddUserFormScreenshot, WithANameAndAnAddress) {
    dialogs::AddUserForm form;
    bool saved = false;
    QTimer::singleShot(0, &form, [&] {
        saved = testing_support::SaveScreenshot(form, "newsender.png");
        form.reject();
    });
    EXPECT_EQ(form.Edit("Ann Lee", "ann.lee@far.test", nullptr), 2);
    EXPECT_TRUE(saved);
}
