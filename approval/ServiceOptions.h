#pragma once
// The command line of the approval service:
//   glimmerpost-approval --listen HOST:PORT --smtp HOST:PORT [--from ADDRESS]
// (each also as --name=value). --help and --version are answered before (see
// platform/ProgramMain.h). Both host:port pairs are required; PORT is 1 to 65535 (0
// for --listen: any free port, which the service prints); the sender address
// defaults to the one the program's filter knows (core/ServiceAddresses.h).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace approval {

struct HostPort {
    std::string host;
    int port = 0;
};

struct ServiceOptions {
    HostPort listen;
    HostPort smtp;
    std::string from;
};

// "HOST:PORT" (the host may be "[v6]"); nothing when it is not of that form.
std::optional<HostPort> ParseHostPort(std::string_view text, bool portZeroAllowed);

// The options, or nothing with *error saying what is wrong.
std::optional<ServiceOptions> ParseOptions(const std::vector<std::string>& arguments, std::string* error);

}  // namespace approval
