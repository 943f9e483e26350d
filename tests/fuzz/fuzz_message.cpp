// Message text from strangers: any bytes go through the header parser, every field
// and both dates are read, and the parse keeps its promises: the header block and
// body are the text around the first empty line, fields hold no CR LF, and the
// dates are finite. A stored-file name made from the result is a safe name.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/CMessage.h"
#include "core/MessageFiles.h"
#include "core/MessageKey.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkField(const std::string& value) { check(value.find("\r\n") == std::string::npos); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CMessage m;
    const bool parsed = m.CreateFromText(text);
    const std::size_t end = text.find("\r\n\r\n");
    check(parsed == (end != std::string::npos));
    if (parsed) {
        check(m.Headers == text.substr(0, end));
        check(m.MessageBody() == text.substr(end + 4));
        check(m.MessageText() == text && m.Size() == static_cast<long>(size));
    }
    for (const std::string* f : {&m.Encrypted, &m.Comments, &m.Keywords, &m.References, &m.InReplyTo, &m.bcc,
                                 &m.cc, &m.Sender, &m.replyTo, &m.Subject, &m.From, &m.MessageTo, &m.SendDate,
                                 &m.Received, &m.ReturnPath})
        checkField(*f);
    // Removing the brackets of a Message-ID may join a lone CR and LF, so only the
    // removed characters are checked there.
    check(m.MessageID.find_first_of("<>\\/:") == std::string::npos);
    check(std::isfinite(m.SendDateTime()) && std::isfinite(m.ReceivedDateTime()));
    const std::string name = MessageFiles::MessageFileName(m.From, m);
    check(MessageKeys::IsMessageFileName(name) && name.size() <= MessageFiles::kMaxFileNameBytes);
    return 0;
}
