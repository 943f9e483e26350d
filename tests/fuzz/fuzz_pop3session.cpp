// Any bytes from a client of the local POP3 server, in pieces of any size, before or
// after a login: the session never holds more than its bounds, says nothing once it
// has ended, and removes messages only when a QUIT came.
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Environment.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "protocol/Pop3ServerSession.h"

namespace {

namespace fs = std::filesystem;

const char kAccount[] = "fuzz@example.test";
const char* const kFiles[] = {"one.eml", "two.eml", "three.eml"};
const char* const kBodies[] = {
    "Subject: one\r\n\r\nbody\r\n..dot\r\n",
    "Subject: two\r\n\r\nno line end",
    "Subject: three\r\nX: y\r\n\r\n\r\n.\r\n..\r\nlast\r\n",
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

fs::path g_folder;

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

CMessages& Store() {
    static CMessages* store = [] {
        std::string tmpl = (fs::temp_directory_path() / "glp-fuzz-pop3-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) abort();
        g_folder = tmpl;
        std::atexit(RemoveFolder);
        MiscFuncs::SetProgramFolder(tmpl);
        CIniFile(ProgramFiles::AccountsIniPath().string()).Value(kAccount, "POP3Password", MiscFuncs::ScrambleText("pw"));
        fs::create_directories(MessageKeys::FolderPath(kAccount, MessageKeys::kInBox));
        return new CMessages(CMessages::Start::Empty);
    }();
    return *store;
}

// Puts back whatever a QUIT of the last input removed.
void Restock(CMessages& store) {
    for (int i = 0; i < 3; ++i) {
        const std::string key = MessageKeys::MakeKey(kAccount, MessageKeys::kInBox, kFiles[i]);
        if (store.Find(key)) continue;
        std::ofstream(MessageKeys::PathOfKey(key), std::ios::binary) << kBodies[i];
        store.AddMessage(kAccount, kFiles[i], MessageKeys::kInBox);
    }
}

bool HoldsQuit(std::string_view data) {
    for (std::size_t i = 0; i + 4 <= data.size(); ++i)
        if (MiscFuncs::EqualsIgnoreCase(data.substr(i, 4), "QUIT")) return true;
    return false;
}

// Takes what the session produced and checks its bounds.
void Drain(Pop3ServerSession& session) {
    int rounds = 0;
    do {
        check(session.OutputSize() <= 2 * Pop3ServerSession::kPieceBytes + 2 * Pop3ServerSession::kMaxLineBytes);
        session.TakeOutput();
        if (session.Sending()) session.ContinueSending();
        check(++rounds < 100000);
    } while (session.Sending() || session.OutputSize() > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    CMessages& store = Store();
    Restock(store);
    if (size == 0) return 0;
    const std::uint8_t shape = bytes[0];
    std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    const bool quitSent = HoldsQuit(data);

    Pop3ServerSession session(store, 1);
    session.Open("127.0.0.1", "127.0.0.1");
    if (shape & 1) session.Receive("USER FUZZ@example.test\r\nPASS pw\r\n");
    Drain(session);
    std::size_t piece = 1 + (shape >> 1) % 64;
    while (!data.empty()) {
        const std::size_t take = std::min({piece, data.size(), std::max<std::size_t>(session.InputRoom(), 1)});
        const bool ended = session.Ended();
        session.Receive(data.substr(0, take));
        if (ended) check(session.OutputSize() == 0);
        data.remove_prefix(take);
        Drain(session);
        piece = piece * 7 % 61 + 1;
    }
    check(session.MessageCount() <= 3);
    if (!quitSent) check(store.Count() == 3);
    return 0;
}
