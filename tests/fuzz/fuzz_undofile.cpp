// Undo files and mail-client texts come from files and a registry we do not control.
// An undo file that is accepted names an account key, and writing that key's undo text
// gives back the same bytes; a recorded registry file reads back from its own record;
// detected texts are cleaned and capped whatever they hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/MailClientFiles.h"
#include "core/MailClients.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto key = UndoFiles::ParseUndoText(text)) {
        if (!MailClients::IsAccountKey(*key) || UndoFiles::UndoText(*key) != text) std::abort();
    }
    // A recorded registry file reads back the same from the record line written for it.
    if (const auto registry = UndoFiles::RecordedRegistry(text)) {
        if (UndoFiles::RecordedRegistry("REGEDIT4\r\n" + UndoFiles::RecordLine(*registry)) != registry) std::abort();
    }
    const std::string clean = MailClients::CleanDetectedText(MailClients::FromUtf16Le(text));
    if (clean.size() > MailClients::kMaxDetectedText || clean.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        std::abort();
    if (MailClients::FromUtf16Le(MailClients::ToUtf16LeZ(clean)) != clean) std::abort();
    return 0;
}
