// The approval loop's readers over any bytes: the form parser gives back what the
// encoder wrote, a link target never carries a control byte, a cleaned value is one
// line within its limit, and the header-field reader, the signature check and the
// bounce reader stay within their input and never accept a mail that was not signed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/ApprovalRequest.h"
#include "protocol/OwnMailSignature.h"
#include "protocol/RegistrationReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    using namespace ApprovalRequest;

    if (const std::optional<Fields> fields = ParseUrlEncoded(input)) {
        if (fields->size() > kMaxFields) std::abort();
        if (const auto d = fields->find("d"); d != fields->end()) {
            const auto t = fields->find("t");
            if (const std::optional<Target> target = ReadTarget(d->second, t == fields->end() ? "" : t->second)) {
                for (char c : target->recipient + target->account)
                    if (static_cast<unsigned char>(c) < 0x20) std::abort();
                if (!OwnMailSignature::IsTokenForm(target->token)) std::abort();
                const std::string body = ReplyBody(*target, input, input, "now");
                const RegistrationReplies::RegistrationReply reply = RegistrationReplies::ParseReplyBody(body);
                if (reply.token != target->token) std::abort();
            }
        }
    }
    std::string encoded;
    for (const char c : input.substr(0, 512)) encoded += c;
    const std::optional<Fields> back = ParseUrlEncoded("v=" + UrlEncode(encoded));
    if (!back || back->at("v") != encoded) std::abort();

    const std::string clean = CleanValue(input, 100);
    if (clean.size() > 100) std::abort();
    for (char c : clean)
        if (c == '\r' || c == '\n' || c == '\0' || c == '"') std::abort();

    OwnMailSignature::FieldValues(input, "X-GLP-MESSAGE");
    OwnMailSignature::HasRequestMarker(input);
    // Nothing verifies without a key; with one, random bytes do not carry its signature.
    if (OwnMailSignature::Verify("", input)) std::abort();
    if (OwnMailSignature::Verify("fuzz key", input)) std::abort();
    if (RegistrationReplies::SignedBouncedRecipient(input, "fuzz key")) std::abort();
    return 0;
}
