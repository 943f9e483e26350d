// glimmerpost-approval: see approval/ApprovalService.h.
#include <QCoreApplication>

#include <iostream>

#include "approval/ApprovalService.h"
#include "approval/ServiceOptions.h"
#include "core/CommandLine.h"
#include "core/Log.h"
#include "platform/ProgramMain.h"

namespace {

const CommandLine::Usage kUsage{
    "glimmerpost-approval",
    "The approval page of Glimmerpost's registration requests: it asks a sender for his\n"
    "name and reason and mails the registration reply to the account he wrote to.\n"
    "--listen and --smtp are required; it keeps no data folder.",
    {{"--listen HOST:PORT", "where the page listens (port 0: any free port)"},
     {"--smtp HOST:PORT", "the SMTP relay the replies go through"},
     {"--from ADDRESS", "the replies' sender (register@glimmerpost.example)"}}};

int run(QCoreApplication& app, const std::vector<std::string>& arguments) {
    std::string error;
    const std::optional<approval::ServiceOptions> options = approval::ParseOptions(arguments, &error);
    if (!options) return CommandLine::Answer(kUsage, CommandLine::Action::Error, error);
    // The service keeps no program log; its lines go to standard error.
    MiscFuncs::SetLogLevel(-1);
    approval::ApprovalService service(*options);
    const quint16 port = service.start();
    if (port == 0) return 1;
    std::cout << "listening on " << options->listen.host << ":" << port << std::endl;
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) { return platform::RunServiceMain(argc, argv, kUsage, run); }
