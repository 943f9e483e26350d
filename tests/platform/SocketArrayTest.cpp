// The session array: slot search with wrap-around, reuse, and items removed inside
// their own handlers.

#include "platform/SocketArray.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <set>

#include "SocketTestSupport.h"

namespace {

using platform::SocketArray;
using platform::SocketControl;
using testing_support::WaitFor;

TEST(SocketArray, TakesSlotsOnwardFromTheLastAndReusesFreedOnes) {
    SocketArray array;
    EXPECT_EQ(array.findFree(), 1);  // the last slot itself is looked at first
    array.load(1);
    EXPECT_EQ(array.findFree(), 2);
    array.load(2);
    array.unload(1);
    EXPECT_EQ(array.findFree(), 3);  // onward from 2, not back to the freed 1
    for (int i = 3; i <= SocketArray::kMaxSessions; ++i) array.load(i);
    EXPECT_EQ(array.loadedSessions(), 254);
    EXPECT_EQ(array.findFree(), 1);  // wraps from 255 to 1
    array.load(1);
    EXPECT_EQ(array.findFree(), -1);
    EXPECT_EQ(array.lastTaken(), 1);
    array.unload(1);
    EXPECT_EQ(array.findFree(), 1);  // freed and last taken: taken again
    EXPECT_EQ(array.loadedSessions(), 254);
}

TEST(SocketArray, ItemZeroIsNeverASessionAndIndexesAreBounded) {
    SocketArray array;
    ASSERT_NE(array.load(0), nullptr);
    EXPECT_EQ(array.loadedSessions(), 0);
    EXPECT_EQ(array.load(0), array.item(0));  // loading twice keeps the item
    EXPECT_EQ(array.load(256), nullptr);
    EXPECT_EQ(array.load(-1), nullptr);
    EXPECT_EQ(array.item(300), nullptr);
    array.unload(300);
}

TEST(NextFreeSlot, WrapsAndStopsAfter255Looks) {
    std::set<int> looked;
    EXPECT_EQ(platform::NextFreeSlot(200, [&](int s) { looked.insert(s); return false; }), -1);
    EXPECT_EQ(looked.size(), 255u);
    EXPECT_EQ(looked.count(0), 0u);
    EXPECT_EQ(platform::NextFreeSlot(254, [](int s) { return s == 3; }), 3);
    EXPECT_EQ(platform::NextFreeSlot(0, [](int s) { return s >= 1; }), 1);
    EXPECT_EQ(platform::NextFreeSlot(999, [](int s) { return s == 255; }), 255);
}

class SocketArraySessions : public testing_support::TempFolderTest {};

// A server in the way the engines build one: item 0 listens, each request gets the
// next free item, and a session that ends removes its item from its own handler.
TEST_F(SocketArraySessions, ServesSessionsAndRemovesItemsFromTheirHandlers) {
    SocketArray array;
    ASSERT_TRUE(array.load(0)->listen(0));
    const quint16 port = array.item(0)->localPort();
    std::vector<int> served;
    QObject::connect(&array, &SocketArray::connectionRequest, [&](int index, int id) {
        EXPECT_EQ(index, 0);
        const int slot = array.findFree();
        ASSERT_GT(slot, 0);
        ASSERT_TRUE(array.load(slot)->accept(id));
        served.push_back(slot);
    });
    QObject::connect(&array, &SocketArray::dataArrival, [&](int index, qint64) {
        SocketControl* item = array.item(index);
        item->send("+OK slot " + QByteArray::number(index) + "\r\n");
        if (item->read().startsWith("QUIT")) array.unload(index);
    });
    for (int round = 0; round < 2; ++round) {
        SocketControl client;
        QSignalSpy closed(&client, &SocketControl::closed);
        ASSERT_TRUE(client.connect("127.0.0.1", port));
        ASSERT_TRUE(WaitFor([&] { return client.state() == SocketControl::kConnected; }));
        ASSERT_TRUE(client.send("QUIT\r\n"));
        ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
        EXPECT_EQ(client.read(), "+OK slot 1\r\n");
    }
    EXPECT_EQ(served, (std::vector<int>{1, 1}));
    EXPECT_EQ(array.loadedSessions(), 0);
}

}  // namespace
