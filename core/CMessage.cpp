#include "core/CMessage.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "core/AtomicFile.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/MiscUtils.h"

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

struct FieldSlot {
    const char* name;
    std::string CMessage::*field;
};

// Header names (lower case) and the field each fills; the last occurrence wins.
const std::array<FieldSlot, 15> kFields = {{
    {"encrypted", &CMessage::Encrypted},   {"comments", &CMessage::Comments},
    {"keywords", &CMessage::Keywords},     {"references", &CMessage::References},
    {"in-reply-to", &CMessage::InReplyTo}, {"bcc", &CMessage::bcc},
    {"cc", &CMessage::cc},                 {"sender", &CMessage::Sender},
    {"reply-to", &CMessage::replyTo},      {"subject", &CMessage::Subject},
    {"from", &CMessage::From},             {"to", &CMessage::MessageTo},
    {"date", &CMessage::SendDate},         {"return-path", &CMessage::ReturnPath},
    {"message-id", &CMessage::MessageID},
}};

std::string cleanMessageId(std::string_view raw) {
    std::string id;
    id.reserve(raw.size());
    for (char c : raw)
        if (c != '<' && c != '>' && c != '\\' && c != '/' && c != ':') id += c;
    if (MiscFuncs::IsBlank(id)) id = MiscFuncs::DateStampNow();
    return id;
}

// Reads a file line by line, a line ending at CR, CR LF or the end of the file.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    bool AtEnd() { return !fill() && pos_ >= len_; }
    bool ReadLine(std::string& line) {
        line.clear();
        while (fill()) {
            const char c = buf_[pos_++];
            if (c == '\r') {
                if (fill() && buf_[pos_] == '\n') ++pos_;
                return true;
            }
            line += c;
        }
        return !failed_;
    }
    bool Failed() const { return failed_; }

private:
    bool fill() {
        if (pos_ < len_) return true;
        if (failed_) return false;
        ssize_t n;
        do n = ::read(fd_, buf_.data(), buf_.size());
        while (n < 0 && errno == EINTR);
        if (n < 0) failed_ = true;
        len_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        pos_ = 0;
        return len_ > 0;
    }
    int fd_;
    std::array<char, 16384> buf_{};
    std::size_t pos_ = 0, len_ = 0;
    bool failed_ = false;
};

}  // namespace

bool CMessage::CreateFromText(std::string text) {
    const std::size_t end = text.find(kHeaderEnd);
    if (end == std::string::npos) {
        MiscFuncs::WriteLog(1, "#", "Message:Invalid message format");
        return false;
    }
    Headers.assign(text, 0, end);
    text_ = std::move(text);
    body_.reset();
    bodyStart_ = end + kHeaderEnd.size();
    parseHeaderBlock();
    return true;
}

std::string CMessage::MessageBody() const {
    if (body_) return *body_;
    if (bodyStart_ == std::string::npos || bodyStart_ > text_.size()) return {};
    return text_.substr(bodyStart_);
}

// Header fields are unfolded (RFC 5322 2.2.3): a line that begins with a blank or a
// tab continues the field above it, so a long From whose address sits on its second
// line is read whole. Received keeps its own rule: each of its lines is looked at
// alone, and the first that holds a ";" is kept.
void CMessage::parseHeaderBlock() {
    std::string current;  // the header name the lines now belong to
    std::string value;    // its value so far, unfolded
    bool open = false;    // a field waits to be stored
    const auto flush = [&] {
        // An unfolded value may begin with a TAB.
        if (open) storeField(current, MiscFuncs::TrimBlanksAndTabs(value));
        open = false;
    };
    std::size_t pos = 0;
    while (pos <= Headers.size()) {
        std::size_t eol = Headers.find("\r\n", pos);
        if (eol == std::string::npos) eol = Headers.size();
        const std::string_view line(Headers.data() + pos, eol - pos);
        pos = eol + 2;
        const bool folded = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (folded && open) {
            if (value.size() < kMaxUnfoldedBytes) value.append(line.substr(0, kMaxUnfoldedBytes - value.size()));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (!folded && colon != std::string_view::npos && line.substr(0, colon).find(' ') == std::string_view::npos) {
            flush();
            current = MiscFuncs::LowerCase(line.substr(0, colon));
            value.assign(line.substr(colon + 1, kMaxUnfoldedBytes));
            open = current != "received";
            if (!open) storeField(current, MiscFuncs::TrimBlanks(line.substr(colon + 1)));
        } else if (current == "received") {
            storeField(current, MiscFuncs::TrimBlanks(line));
        } else {
            flush();
            current.clear();
        }
    }
    flush();
}

void CMessage::storeField(const std::string& name, std::string_view value) {
    if (name == "received") {
        if (Received.empty() && value.find(';') != std::string_view::npos) Received.assign(value);
        return;
    }
    if (name == "message-id") {
        MessageID = cleanMessageId(value);
        return;
    }
    for (const FieldSlot& slot : kFields) {
        if (name == slot.name) {
            (this->*slot.field).assign(value);
            return;
        }
    }
}

bool CMessage::LoadHeadersFromFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    LineReader reader(fd);
    std::string text, line;
    // The end test looks only at what the last line added, so reading stays linear.
    while (!reader.AtEnd() && text.size() < kMaxHeaderFileBytes) {
        const std::size_t before = text.size();
        if (!reader.ReadLine(line)) break;
        text += line;
        text += "\r\n";
        const std::size_t from = before >= 2 ? before - 2 : 0;
        if (text.find(kHeaderEnd, from) != std::string::npos) break;
    }
    const bool failed = reader.Failed();
    ::close(fd);
    if (failed) return false;
    text += "msg\r\n";
    CreateFromText(std::move(text));
    return true;
}

bool CMessage::CreateFromFile(const std::filesystem::path& path) {
    std::string text;
    if (!MiscFuncs::ReadWholeFile(path, text)) return false;
    return CreateFromText(std::move(text));
}

bool CMessage::SaveMessage(const std::filesystem::path& path, MiscFuncs::SyncBatch* batch) {
    if (MiscFuncs::WriteFileAtomic(path, text_, MiscFuncs::Replace::Allow, batch)) return true;
    ErrorText += "Failed to save message to " + path.string() + "\r\n";
    return false;
}

double CMessage::SendDateTime() const {
    if (MiscFuncs::IsBlank(SendDate)) return 0;
    return MiscFuncs::ParseMailDate(MiscFuncs::TrimBlanks(SendDate));
}

double CMessage::ReceivedDateTime() const {
    const std::size_t semi = Received.find(';');
    std::string_view when = semi == std::string::npos ? std::string_view(Received)
                                                      : std::string_view(Received).substr(semi + 1);
    when = MiscFuncs::TrimBlanks(when);
    if (MiscFuncs::IsBlank(when)) when = MiscFuncs::TrimBlanks(SendDate);
    return MiscFuncs::ParseMailDate(when);
}
