// The regression data in tests/data/regressions replayed: every protocol script
// (*.script) against the session it names, and every mail (*.eml, with its *.expect)
// through the local POP3 server, the collector's session, the filter and the SMTP
// client. A new file is a new case; the format is described in the folder's README.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/MessageKey.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"
#include "protocol/MessageFilter.h"
#include "protocol/Pop3ClientSession.h"
#include "protocol/Pop3ServerSession.h"
#include "protocol/SmtpClientSession.h"
#include "protocol/SmtpProxySession.h"

namespace {

namespace fs = std::filesystem;

fs::path RegressionFolder() { return fs::path(GLP_TEST_DATA_DIR) / "regressions"; }

// ---------------------------------------------------------------- the text format

// Expected bytes: literal texts with a wildcard between each two ("\*": any bytes but
// CR and LF).
struct Pattern {
    std::vector<std::string> parts{std::string()};

    void append(const Pattern& more) {
        parts.back() += more.parts.front();
        parts.insert(parts.end(), more.parts.begin() + 1, more.parts.end());
    }
    bool exact() const { return parts.size() == 1; }
};

bool HoldsLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool Matches(const Pattern& pattern, std::string_view text) {
    const std::vector<std::string>& p = pattern.parts;
    if (p.size() == 1) return text == p[0];
    if (!text.starts_with(p.front())) return false;
    std::size_t at = p.front().size();
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const std::size_t found = text.find(p[i], at);
        if (found == std::string_view::npos || HoldsLineEnd(text.substr(at, found - at))) return false;
        at = found + p[i].size();
    }
    if (text.size() < at + p.back().size() || !text.ends_with(p.back())) return false;
    return !HoldsLineEnd(text.substr(at, text.size() - at - p.back().size()));
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Printable(const Pattern& pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.parts.size(); ++i) out += (i ? "\\*" : "") + Printable(pattern.parts[i]);
    return out;
}

// Reads the escapes of a text: \r \n \t \0 \\ \xHH, \{N} (the next byte N times), \*
// (a wildcard), \@ (the bytes of the case's mail), and \c at the very end (no line end
// follows). On a bad escape, error says why and the pattern holds what was read so far.
struct Decoded {
    Pattern pattern;
    bool lineEnd = true;
    std::string error;
};

Decoded Unescape(std::string_view text, std::string_view mail = {}) {
    Decoded decoded;
    Pattern& out = decoded.pattern;
    bool& lineEnd = decoded.lineEnd;
    std::string& error = decoded.error;
    std::size_t repeat = 1;
    const auto put = [&](std::string_view bytes) {
        for (std::size_t n = 0; n < repeat; ++n) out.parts.back() += bytes;
        repeat = 1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            put(text.substr(i, 1));
            continue;
        }
        if (++i == text.size()) {
            error = "a lone \\ at the end";
            return decoded;
        }
        switch (text[i]) {
            case 'r': put("\r"); break;
            case 'n': put("\n"); break;
            case 't': put("\t"); break;
            case '0': put(std::string_view("\0", 1)); break;
            case '\\': put("\\"); break;
            case '*': out.parts.emplace_back(); break;
            case '@': put(mail); break;
            case 'c':
                if (i + 1 != text.size()) error = "\\c is allowed only at the end";
                lineEnd = false;
                break;
            case 'x': {
                const std::string hex(text.substr(i + 1, 2));
                if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                    error = "\\x needs two hex digits";
                    return decoded;
                }
                put(std::string(1, static_cast<char>(std::stoi(hex, nullptr, 16))));
                i += 2;
                break;
            }
            case '{': {
                const std::size_t close = text.find('}', i);
                const std::string digits(text.substr(i + 1, close == std::string_view::npos ? 0 : close - i - 1));
                if (digits.empty() || digits.size() > 9 ||
                    !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                    error = "\\{N} needs a count";
                    return decoded;
                }
                repeat = std::stoul(digits);
                i = close;
                break;
            }
            default:
                error = std::string("unknown escape \\") + text[i];
                return decoded;
        }
    }
    if (repeat != 1) error = "\\{N} at the end repeats nothing";
    return decoded;
}

std::vector<std::string> Words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string Trim(std::string_view text) {
    const std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    return std::string(text.substr(b, text.find_last_not_of(" \t\r") - b + 1));
}

// One line of a script after its header: bytes from a party, bytes expected from the
// session, an event, or a check.
struct Step {
    enum class Kind { Bytes, Event, Check };
    int line = 0;
    Kind kind = Kind::Bytes;
    std::string tag;         // Bytes: "C", "S", "P>C", "P>S", "E"
    Pattern bytes;           // Bytes
    std::vector<std::string> words;  // Event, Check: the words
    std::string rest;        // Check: the text after its first word, as written
};

struct Script {
    std::string session;
    std::vector<std::pair<std::string, std::string>> header;  // key, value as written
    std::vector<Step> steps;
};

const char* const kTags[] = {"C", "S", "P>C", "P>S", "E"};

std::optional<Script> ParseScript(const std::string& text, std::string& error) {
    Script script;
    std::istringstream in(text);
    int number = 0;
    for (std::string raw; std::getline(in, raw);) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (Trim(raw).empty() || raw.front() == '#') continue;
        Step step;
        step.line = number;
        if (raw.front() == '!' || raw.front() == '?') {
            step.kind = raw.front() == '!' ? Step::Kind::Event : Step::Kind::Check;
            step.words = Words(std::string_view(raw).substr(1));
            if (step.words.empty()) {
                error = where + "an event or check without a name";
                return std::nullopt;
            }
            const std::size_t name = raw.find(step.words[0]);
            step.rest = Trim(std::string_view(raw).substr(name + step.words[0].size()));
            script.steps.push_back(std::move(step));
            continue;
        }
        const std::size_t colon = raw.find(':');
        if (colon == std::string::npos) {
            error = where + "no \"tag:\" or \"key:\"";
            return std::nullopt;
        }
        const std::string tag = raw.substr(0, colon);
        std::string_view value = std::string_view(raw).substr(colon + 1);
        if (value.starts_with(' ')) value.remove_prefix(1);
        if (std::find(std::begin(kTags), std::end(kTags), tag) == std::end(kTags)) {
            if (!script.steps.empty()) {
                error = where + "header line \"" + tag + "\" after the transcript began";
                return std::nullopt;
            }
            if (tag == "session") script.session = Trim(value);
            else script.header.emplace_back(tag, std::string(value));
            continue;
        }
        Decoded decoded = Unescape(value);
        if (!decoded.error.empty()) {
            error = where + decoded.error;
            return std::nullopt;
        }
        step.tag = tag;
        step.bytes = std::move(decoded.pattern);
        if (decoded.lineEnd) step.bytes.parts.back() += "\r\n";
        script.steps.push_back(std::move(step));
    }
    if (script.session.empty()) {
        error = "no \"session:\" line";
        return std::nullopt;
    }
    return script;
}

// Writes accounts.ini from "account: <section> key=value ..." (passwords scrambled as
// the program stores them).
void WriteAccount(const std::string& value) {
    const std::vector<std::string> words = Words(value);
    ASSERT_FALSE(words.empty()) << "account: needs a name";
    CIniFile ini(ProgramFiles::AccountsIniPath().string());
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t eq = words[i].find('=');
        ASSERT_NE(eq, std::string::npos) << words[i];
        const std::string key = words[i].substr(0, eq);
        std::string v = words[i].substr(eq + 1);
        if (key.ends_with("Password")) v = MiscFuncs::ScrambleText(v);
        ini.Value(words[0], key, v);
    }
}

// ---------------------------------------------------------------- the sessions

// One session under test: takes the parties' bytes and the events, and collects what
// it sends per tag.
class Replay {
public:
    virtual ~Replay() = default;
    virtual std::vector<std::string> outputs() const = 0;
    // Returns "" or why the line cannot be taken.
    virtual std::string header(const std::string& key, const std::string& value) = 0;
    virtual void start() = 0;
    virtual std::string bytes(const std::string& tag, const std::string& bytes) = 0;
    virtual std::string event(const std::vector<std::string>& words) = 0;
    // Returns "" when the check holds, else what was found.
    virtual std::string check(const Step& step) = 0;
    virtual bool ended() const = 0;

    std::map<std::string, std::string> sent;

protected:
    static std::string yesNo(bool ok, const std::string& what) { return ok ? "" : what; }
};

std::string CheckEndedOrRunning(const Step& step, bool ended) {
    if (step.words[0] == "ended") return ended ? "" : "the session still runs";
    if (step.words[0] == "running") return ended ? "the session has ended" : "";
    return "unknown check \"" + step.words[0] + "\"";
}

class Pop3ServerReplay : public Replay {
public:
    std::vector<std::string> outputs() const override { return {"S"}; }
    std::string header(const std::string& key, const std::string& value) override {
        if (key == "account") {
            WriteAccount(value);
            account_ = Words(value).at(0);
        } else if (key == "remote") {
            remote_ = Trim(value);
        } else if (key == "mail") {
            mails_.push_back(value);
        } else {
            return "unknown header \"" + key + "\"";
        }
        return "";
    }
    void start() override {
        messages_ = std::make_unique<CMessages>(CMessages::Start::Empty);
        for (std::size_t i = 0; i < mails_.size(); ++i) {
            const Decoded d = Unescape(mails_[i]);
            const Pattern& bytes = d.pattern;
            ASSERT_TRUE(d.error.empty() && bytes.exact()) << "mail " << i + 1 << ": " << d.error;
            const std::string name = "m" + std::to_string(i + 1) + ".eml";
            testing_support::WriteFile(MessageKeys::FolderPath(account_, MessageKeys::kInBox) / name,
                                       bytes.parts[0]);
            ASSERT_TRUE(messages_->AddMessage(account_, name, MessageKeys::kInBox));
        }
        session_ = std::make_unique<Pop3ServerSession>(*messages_, 1);
        session_->Open(remote_, "127.0.0.1");
        drain();
    }
    // The carrier's way: no more than the session has room for; once it has none (it
    // ended), the rest is not read.
    std::string bytes(const std::string&, const std::string& bytes) override {
        std::string_view rest = bytes;
        while (!rest.empty() && session_->InputRoom() > 0) {
            const std::size_t n = std::min(rest.size(), session_->InputRoom());
            session_->Receive(rest.substr(0, n));
            rest.remove_prefix(n);
            drain();
        }
        return "";
    }
    std::string event(const std::vector<std::string>& words) override {
        if (words[0] == "timeout") session_->TimeOut();
        else if (words[0] == "drop") session_->Drop();
        else return "unknown event";
        drain();
        return "";
    }
    std::string check(const Step& step) override {
        if (step.words[0] == "messages") {
            const std::string count = std::to_string(messages_->Count());
            return yesNo(step.words.size() == 2 && step.words[1] == count, "the store holds " + count);
        }
        if (step.words[0] == "state") {
            static const char* const kNames[] = {"Authorization", "Transaction", "Ended"};
            const std::string now = kNames[static_cast<int>(session_->CurrentState())];
            return yesNo(step.words.size() == 2 && step.words[1] == now, "the state is " + now);
        }
        return CheckEndedOrRunning(step, ended());
    }
    bool ended() const override { return session_->Ended(); }

private:
    void drain() {
        sent["S"] += session_->TakeOutput();
        while (session_->Sending()) {
            session_->ContinueSending();
            sent["S"] += session_->TakeOutput();
        }
    }

    std::string account_ = "me@home.test";
    std::string remote_ = "127.0.0.1";
    std::vector<std::string> mails_;
    std::unique_ptr<CMessages> messages_;
    std::unique_ptr<Pop3ServerSession> session_;
};

class SmtpProxyReplay : public Replay, private SmtpProxySession::Sink {
public:
    std::vector<std::string> outputs() const override { return {"P>C", "P>S", "E"}; }
    std::string header(const std::string& key, const std::string& value) override {
        if (key != "account") return "unknown header \"" + key + "\"";
        WriteAccount(value);
        return "";
    }
    void start() override { session_.start(); }
    std::string bytes(const std::string& tag, const std::string& bytes) override {
        if (tag == "C") session_.clientBytes(bytes);
        else if (tag == "S") session_.serverBytes(bytes);
        else return "the proxy takes bytes from C and S only";
        return "";
    }
    std::string event(const std::vector<std::string>& words) override {
        if (words[0] == "server-failed") session_.serverFailed();
        else if (words[0] == "idle") session_.clientIdle();
        else return "unknown event";
        return "";
    }
    std::string check(const Step& step) override {
        if (step.words[0] == "recipients") {
            std::string all;
            for (const std::string& r : session_.takeApprovedRecipients()) all += (all.empty() ? "" : " ") + r;
            return yesNo(all == step.rest, "the recipients are \"" + all + "\"");
        }
        return CheckEndedOrRunning(step, ended());
    }
    bool ended() const override { return session_.finished(); }

private:
    void toClient(std::string_view bytes) override { sent["P>C"] += bytes; }
    void toServer(std::string_view bytes) override { sent["P>S"] += bytes; }
    void connectServer(const SmtpProxyText::ServerAddress& server) override {
        sent["E"] += "connect " + server.host + ":" + std::to_string(server.port) + "\r\n";
    }
    void dropServer() override { sent["E"] += "drop\r\n"; }
    bool clientBacklogged() const override { return false; }

    SmtpProxySession session_{1, *this};
};

class SmtpClientReplay : public Replay {
public:
    SmtpClientReplay() {
        config_.smtpHost = "127.0.0.1";
        config_.hostName = "client.example.test";
        config_.mailFrom = "me@example.test";
        config_.rcptTo = "you@example.test";
    }
    std::vector<std::string> outputs() const override { return {"C", "E"}; }
    std::string header(const std::string& key, const std::string& value) override {
        const std::vector<std::string> w = Words(value);
        if (key == "message") {
            const Decoded d = Unescape(value);
            if (!d.error.empty() || !d.pattern.exact()) return "message: " + d.error;
            config_.message = d.pattern.parts[0];
        } else if (key == "auth" && w.size() == 2) {
            config_.authUser = w[0];
            config_.authPassword = w[1];
        } else if (key == "pop3" && w.size() == 3) {
            config_.pop3Host = w[0];
            config_.pop3User = w[1];
            config_.pop3Password = w[2];
        } else {
            return "unknown or incomplete header \"" + key + "\"";
        }
        return "";
    }
    void start() override {
        session_ = std::make_unique<engines::SmtpClientSession>(config_);
        take(session_->start());
    }
    std::string bytes(const std::string& tag, const std::string& bytes) override {
        if (tag != "S") return "the SMTP client takes bytes from S only";
        take(session_->received(bytes));
        return "";
    }
    std::string event(const std::vector<std::string>& words) override {
        if (words[0] == "connected") take(session_->connected("127.0.0.1"));
        else if (words[0] == "closed") take(session_->closed());
        else if (words[0] == "timeout") take(session_->timedOut());
        else if (words[0] == "send-failed") take(session_->sendFailed());
        else return "unknown event";
        return "";
    }
    std::string check(const Step& step) override {
        const engines::SmtpOutcome& o = session_->outcome();
        if (step.words[0] == "sent") return yesNo(o.sent, "the message was not sent");
        if (step.words[0] == "not-sent") return yesNo(!o.sent, "the message was sent");
        if (step.words[0] == "error") {
            const Decoded d = Unescape(step.rest);
            if (!d.error.empty()) return d.error;
            return yesNo(Matches(d.pattern, o.lastError), "the error text is \"" + Printable(o.lastError) + "\"");
        }
        return CheckEndedOrRunning(step, ended());
    }
    bool ended() const override { return session_->finished(); }

private:
    void take(const std::vector<engines::SmtpAction>& actions) {
        using Kind = engines::SmtpAction::Kind;
        for (const engines::SmtpAction& a : actions) {
            if (a.kind == Kind::Send) sent["C"] += a.text;
            else if (a.kind == Kind::Connect) sent["E"] += "connect " + a.text + ":" + std::to_string(a.number) + "\r\n";
            else if (a.kind == Kind::Close) sent["E"] += "close\r\n";
        }
    }

    engines::SmtpSessionConfig config_;
    std::unique_ptr<engines::SmtpClientSession> session_;
};

// The collector's owner in a replay: a verdict for every message, the TOP data and
// the stored messages kept.
struct RecordingOwner : engines::Pop3SessionHandler {
    FilterVerdict verdict = FilterVerdict::Accept;
    std::map<int, std::string> headers;
    std::map<int, std::string> stored;

    engines::Classified classify(int number, std::string data) override {
        headers[number] = std::move(data);
        return {verdict, "replay"};
    }
    bool store(int number, const engines::Classified&, std::string message) override {
        stored[number] = std::move(message);
        return true;
    }
    bool commit() override { return true; }
};

class Pop3ClientReplay : public Replay {
public:
    std::vector<std::string> outputs() const override { return {"C", "E"}; }
    std::string header(const std::string& key, const std::string& value) override {
        if (key != "verdict") return "unknown header \"" + key + "\"";
        const std::string v = Trim(value);
        if (v == "accept") owner_.verdict = FilterVerdict::Accept;
        else if (v == "delete") owner_.verdict = FilterVerdict::DeleteFromServer;
        else if (v == "leave") owner_.verdict = FilterVerdict::LeaveOnServer;
        else return "verdict: accept, delete or leave";
        return "";
    }
    void start() override { take(session_.connected()); }
    std::string bytes(const std::string& tag, const std::string& bytes) override {
        if (tag != "S") return "the collector takes bytes from S only";
        take(session_.received(bytes));
        return "";
    }
    std::string event(const std::vector<std::string>& words) override {
        if (words[0] == "closed") take(session_.closed());
        else if (words[0] == "timeout") take(session_.timedOut("replay"));
        else if (words[0] == "socket-error") take(session_.socketError(1, "replay"));
        else return "unknown event";
        return "";
    }
    std::string check(const Step& step) override {
        if (step.words[0] == "top" || step.words[0] == "stored" || step.words[0] == "not-stored") {
            const std::map<int, std::string>& kept = step.words[0] == "top" ? owner_.headers : owner_.stored;
            if (step.words.size() < 2) return "which message?";
            const auto it = kept.find(std::atoi(step.words[1].c_str()));
            if (step.words[0] == "not-stored") return yesNo(it == kept.end(), "it was stored");
            if (it == kept.end()) return "nothing kept for message " + step.words[1];
            const Decoded d = Unescape(Trim(std::string_view(step.rest).substr(step.words[1].size())));
            if (!d.error.empty()) return d.error;
            return yesNo(Matches(d.pattern, it->second), "kept \"" + Printable(it->second) + "\"");
        }
        if (step.words[0] == "quit") return yesNo(session_.outcome().quitSent, "no QUIT was sent");
        if (step.words[0] == "no-quit") return yesNo(!session_.outcome().quitSent, "QUIT was sent");
        return CheckEndedOrRunning(step, ended());
    }
    bool ended() const override { return session_.ended(); }

private:
    void take(const std::vector<engines::Pop3Action>& actions) {
        for (const engines::Pop3Action& a : actions) {
            if (a.kind == engines::Pop3Action::Kind::Send) sent["C"] += a.bytes;
            else sent["E"] += "end\r\n";
        }
    }

    RecordingOwner owner_;
    engines::Pop3ClientSession session_{{"me@home.test", "alice", "secret"}, owner_};
};

std::unique_ptr<Replay> ReplayFor(const std::string& session) {
    if (session == "pop3-server") return std::make_unique<Pop3ServerReplay>();
    if (session == "smtp-proxy") return std::make_unique<SmtpProxyReplay>();
    if (session == "smtp-client") return std::make_unique<SmtpClientReplay>();
    if (session == "pop3-client") return std::make_unique<Pop3ClientReplay>();
    return nullptr;
}

// ---------------------------------------------------------------- the cases

struct Case {
    std::string name;  // for the test's name
    fs::path file;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.file.filename(); }

std::string TestName(const fs::path& file) {
    std::string name = file.extension() == ".eml" ? "mail_" : "script_";
    for (char c : file.stem().string()) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

std::vector<Case> FindCases() {
    std::vector<Case> cases;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(RegressionFolder(), ec)) {
        const fs::path& p = e.path();
        if (p.extension() == ".script" || p.extension() == ".eml") cases.push_back({TestName(p), p});
    }
    std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.name < b.name; });
    return cases;
}

class RegressionData : public testing_support::TempFolderTest, public testing::WithParamInterface<Case> {
protected:
    void replayScript(const std::string& text);
    void replayMail(const std::string& mail, const std::string& expect);
};

void RegressionData::replayScript(const std::string& text) {
    std::string error;
    const std::optional<Script> script = ParseScript(text, error);
    ASSERT_TRUE(script) << error;
    std::unique_ptr<Replay> replay = ReplayFor(script->session);
    ASSERT_TRUE(replay) << "unknown session \"" << script->session << "\"";
    for (const auto& [key, value] : script->header) ASSERT_EQ(replay->header(key, value), "") << key;
    ASSERT_NO_FATAL_FAILURE(replay->start());

    const std::vector<std::string> outputs = replay->outputs();
    std::map<std::string, Pattern> expected;
    // What the session sent since the last input must be what the lines before it say.
    const auto compare = [&](int line) {
        for (const std::string& tag : outputs) {
            const Pattern& want = expected[tag];
            const std::string& got = replay->sent[tag];
            EXPECT_TRUE(Matches(want, got)) << "before line " << line << ", to " << tag << "\n--- expected:\n"
                                            << Printable(want) << "\n--- sent:\n" << Printable(got);
        }
        expected.clear();
        replay->sent.clear();
    };
    for (const Step& step : script->steps) {
        if (step.kind == Step::Kind::Bytes &&
            std::find(outputs.begin(), outputs.end(), step.tag) != outputs.end()) {
            expected[step.tag].append(step.bytes);
            continue;
        }
        compare(step.line);
        std::string problem;
        if (step.kind == Step::Kind::Bytes) {
            ASSERT_TRUE(step.bytes.exact()) << "line " << step.line << ": a wildcard in input";
            problem = replay->bytes(step.tag, step.bytes.parts[0]);
        } else if (step.kind == Step::Kind::Event) {
            problem = replay->event(step.words);
        } else {
            problem = replay->check(step);
            EXPECT_EQ(problem, "") << "line " << step.line << ": ? " << step.words[0] << " " << step.rest;
            continue;
        }
        ASSERT_EQ(problem, "") << "line " << step.line;
    }
    compare(static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1);
}

// A mail in wire form, as a provider's POP3 server would hold it: the local POP3
// server serves it, the collector's session fetches it from there, the filter judges
// its header block, and the SMTP client sends it.
void RegressionData::replayMail(const std::string& mail, const std::string& expectText) {
    const std::string kAccount = "me@home.test";
    std::map<std::string, Pattern> expect;
    {
        std::istringstream in(expectText);
        int number = 0;
        for (std::string raw; std::getline(in, raw);) {
            ++number;
            if (!raw.empty() && raw.back() == '\r') raw.pop_back();
            if (Trim(raw).empty() || raw.front() == '#') continue;
            const std::size_t colon = raw.find(':');
            ASSERT_NE(colon, std::string::npos) << "expect line " << number;
            std::string_view value = std::string_view(raw).substr(colon + 1);
            if (value.starts_with(' ')) value.remove_prefix(1);
            const Decoded d = Unescape(value, mail);
            ASSERT_EQ(d.error, "") << "expect line " << number;
            expect[raw.substr(0, colon)] = d.pattern;
        }
    }
    for (const auto& [key, value] : expect) {
        static const char* const kKeys[] = {"from", "verdict", "reason", "served", "top", "stored", "sent"};
        EXPECT_NE(std::find(std::begin(kKeys), std::end(kKeys), key), std::end(kKeys)) << "unknown key " << key;
    }
    ASSERT_FALSE(expect.empty()) << "the expect file says nothing";
    const auto check = [&](const std::string& key, std::string_view got) {
        const auto it = expect.find(key);
        if (it == expect.end()) return;
        EXPECT_TRUE(Matches(it->second, got)) << key << "\n--- expected:\n" << Printable(it->second)
                                              << "\n--- got:\n" << Printable(got);
    };

    WriteAccount(kAccount + " POP3Password=secret");
    // Served and fetched: the collector's session talks to the local server.
    {
        CMessages messages(CMessages::Start::Empty);
        testing_support::WriteFile(MessageKeys::FolderPath(kAccount, MessageKeys::kInBox) / "m.eml", mail);
        ASSERT_TRUE(messages.AddMessage(kAccount, "m.eml", MessageKeys::kInBox));
        Pop3ServerSession server(messages, 1);
        RecordingOwner owner;
        engines::Pop3ClientSession client({kAccount, kAccount, "secret"}, owner);
        std::map<std::string, std::string> replies;  // by command
        std::string lastCommand = "<greeting>";
        const auto serverSays = [&] {
            std::string out = server.TakeOutput();
            while (server.Sending()) {
                server.ContinueSending();
                out += server.TakeOutput();
            }
            replies[lastCommand] += out;
            return out;
        };
        std::vector<engines::Pop3Action> actions = client.connected();
        server.Open("127.0.0.1", "127.0.0.1");
        auto more = client.received(serverSays());
        actions.insert(actions.end(), more.begin(), more.end());
        for (int rounds = 0; !actions.empty() && rounds < 100; ++rounds) {
            std::vector<engines::Pop3Action> next;
            for (const engines::Pop3Action& a : actions) {
                if (a.kind != engines::Pop3Action::Kind::Send) continue;
                lastCommand = a.bytes;
                server.Receive(a.bytes);
                more = client.received(serverSays());
                next.insert(next.end(), more.begin(), more.end());
            }
            actions.swap(next);
        }
        EXPECT_TRUE(client.ended());
        std::string transcript;
        for (const auto& [command, reply] : replies) transcript += Printable(command) + Printable(reply) + "\n";
        EXPECT_EQ(client.outcome().end, engines::Pop3End::Quit) << client.outcome().errorLine << "\n" << transcript;
        const std::string retr = replies["RETR 1\r\n"];
        ASSERT_TRUE(retr.starts_with("+OK ")) << Printable(retr);
        check("served", std::string_view(retr).substr(retr.find("\r\n") + 2));
        check("top", owner.headers[1]);
        check("stored", owner.stored[1]);
        EXPECT_EQ(messages.Count(), 0u) << "the collector deletes what it stored";
    }
    // Judged: the filter reads the header block as the collector hands it over.
    {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        CIniFile aliases(ProgramFiles::AliasesIniPath().string());
        ProgramSettings settings;
        CDomains domains;
        CMailRules rules;
        CMessages store(CMessages::Start::Empty);
        CSenders senders;
        senders.AttachMessageStore(store);
        CMessage message;
        std::string verdict = "unreadable", reason;
        if (message.CreateFromText(mail)) {
            MessageFilter filter(accounts, aliases, settings, domains, rules, senders);
            static const char* const kVerdicts[] = {"DeleteFromServer", "Accept",      "HoldUnregistered", "ServiceMessage",
                                                    "UnknownSender",    "RegistrationReply", "LeaveOnServer"};
            verdict = kVerdicts[static_cast<int>(filter.FilterMessage(kAccount, message, reason))];
            check("from", message.From);
        } else {
            EXPECT_EQ(expect.count("from"), 0u) << "no header block, no From";
        }
        check("verdict", verdict);
        check("reason", reason);
        senders.DetachMessageStore();
    }
    // Sent: the SMTP client's data block for it.
    {
        engines::SmtpSessionConfig config;
        config.smtpHost = "127.0.0.1";
        config.hostName = "client.example.test";
        config.mailFrom = kAccount;
        config.rcptTo = "you@example.test";
        config.message = mail;
        engines::SmtpClientSession client(config);
        std::string data;
        bool inData = false;
        std::vector<engines::SmtpAction> actions = client.start();
        const auto more = client.connected("127.0.0.1");
        actions.insert(actions.end(), more.begin(), more.end());
        std::string reply = "220 peer.test\r\n";
        for (int rounds = 0; rounds < 20 && !client.finished(); ++rounds) {
            actions = client.received(reply);
            reply.clear();
            for (const engines::SmtpAction& a : actions) {
                if (a.kind != engines::SmtpAction::Kind::Send) continue;
                if (inData) {
                    data = a.text;
                    inData = false;
                    reply = "250 queued\r\n";
                } else if (a.text == "DATA\r\n") {
                    inData = true;
                    reply = "354 go ahead\r\n";
                } else {
                    reply = a.text.starts_with("QUIT") ? "221 bye\r\n" : "250 ok\r\n";
                }
            }
            if (reply.empty()) break;
        }
        EXPECT_TRUE(client.outcome().sent) << client.outcome().lastError;
        check("sent", data);
    }
}

TEST_P(RegressionData, Replays) {
    const fs::path& file = GetParam().file;
    SCOPED_TRACE(file.string());
    const std::string text = testing_support::ReadFile(file);
    if (file.extension() == ".script") {
        replayScript(text);
        return;
    }
    fs::path expect = file;
    expect.replace_extension(".expect");
    ASSERT_TRUE(fs::exists(expect)) << "a mail needs its " << expect.filename();
    replayMail(text, testing_support::ReadFile(expect));
}

INSTANTIATE_TEST_SUITE_P(Files, RegressionData, testing::ValuesIn(FindCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The cases kept aside until their fault is mended stay readable, ready to be moved in.
TEST(RegressionFormat, PendingScriptsParse) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(RegressionFolder() / "pending", ec)) {
        if (e.path().extension() != ".script") continue;
        std::string error;
        const std::optional<Script> script = ParseScript(testing_support::ReadFile(e.path()), error);
        EXPECT_TRUE(script && ReplayFor(script->session)) << e.path() << ": " << error;
    }
}

// The format's own rules, which every case relies on.
TEST(RegressionFormat, EscapesAndWildcards) {
    struct EscapeCase {
        const char* text;
        std::string bytes;
        bool lineEnd;
    };
    const EscapeCase escapes[] = {
        {"a\\r\\nb", "a\r\nb", true},
        {"\\0.\\c", std::string("\0.", 2), false},
        {"\\{3}x.", "xxx.", true},
        {"\\{2}\\r", "\r\r", true},
        {"\\x41\\\\", "A\\", true},
        {"m=\\@", "m=MAIL", true},
    };
    for (const EscapeCase& c : escapes) {
        const Decoded d = Unescape(c.text, "MAIL");
        EXPECT_EQ(d.error, "") << c.text;
        EXPECT_EQ(d.pattern.parts, std::vector<std::string>{c.bytes}) << c.text;
        EXPECT_EQ(d.lineEnd, c.lineEnd) << c.text;
    }
    for (const char* bad : {"\\q", "\\x4", "\\{}x", "\\c.", "end\\", "\\{4}"}) {
        EXPECT_NE(Unescape(bad).error, "") << bad;
    }

    struct MatchCase {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const MatchCase matches[] = {
        {"+OK Ver.\\* Ready\\r\\n", "+OK Ver.1.0 Ready\r\n", true},
        {"+OK Ver.\\* Ready\\r\\n", "+OK Ver.1\r\n Ready\r\n", false},  // never across a line end
        {"a\\*b\\*c", "abc", true},
        {"a\\*b\\*c", "axxbyyc", true},
        {"a\\*b\\*c", "axxbyy", false},
        {"\\*", "anything", true},
        {"exact", "exact!", false},
    };
    for (const MatchCase& c : matches) {
        EXPECT_EQ(Matches(Unescape(c.pattern).pattern, c.text), c.matches) << c.pattern << " ~ " << c.text;
    }
}

}  // namespace
