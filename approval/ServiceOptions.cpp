#include "approval/ServiceOptions.h"

#include "core/Address.h"
#include "core/ServiceAddresses.h"

namespace approval {

std::optional<HostPort> ParseHostPort(std::string_view text, bool portZeroAllowed) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= text.size() || colon + 6 < text.size())
        return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        host = host.substr(1, host.size() - 2);
    }
    int port = 0;
    for (char c : text.substr(colon + 1)) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port > 65535 || (port == 0 && !portZeroAllowed)) return std::nullopt;
    return HostPort{std::string(host), port};
}

std::optional<ServiceOptions> ParseOptions(const std::vector<std::string>& arguments, std::string* error) {
    std::optional<HostPort> listen, smtp;
    ServiceOptions options;
    options.from = std::string(ServiceAddresses::ServiceSenderAddress);
    const auto fail = [&](std::string text) -> std::optional<ServiceOptions> {
        if (error) *error = std::move(text);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name != "--listen" && name != "--smtp" && name != "--from") return fail("unknown option " + name);
        if (!value) {
            if (i + 1 >= arguments.size()) return fail(name + " needs a value");
            value = arguments[++i];
        }
        if (name == "--from") {
            if (!MiscFuncs::IsValidEmail(*value)) return fail("--from needs an e-mail address");
            options.from = *value;
            continue;
        }
        std::optional<HostPort> pair = ParseHostPort(*value, name == "--listen");
        if (!pair) return fail(name + " needs HOST:PORT");
        (name == "--listen" ? listen : smtp) = std::move(pair);
    }
    if (!listen) return fail("--listen HOST:PORT is required");
    if (!smtp) return fail("--smtp HOST:PORT is required");
    options.listen = *listen;
    options.smtp = *smtp;
    return options;
}

}  // namespace approval
