#pragma once
// The whole program with its real engines on a temporary folder: one account, the
// local POP3 and SMTP engines on ports held for them until the test ends.

#include <memory>
#include <string>

#include "ProgramTestSupport.h"
#include "mainwindow/ProgramEngines.h"
#include "support/Peers.h"

namespace testing_support {

class EnginesProgramTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        addAccount();
        setValue("options", "POP3ServerPort", std::to_string(pop3Port.port()));
        setValue("options", "SMTPServerPort", std::to_string(smtpPort.port()));
    }
    void TearDown() override {
        program_.reset();
        engines.reset();
        ProgramTest::TearDown();
    }
    // The program made, its engines attached and started, and the events of the
    // start run.
    mainwindow::GlimmerpostProgram& startWithEngines() {
        engines = std::make_unique<mainwindow::ProgramEngines>();
        auto& program = makeProgram(false);
        engines->Attach(program);
        EXPECT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
        platform::PumpEvents();
        return program;
    }

    std::unique_ptr<mainwindow::ProgramEngines> engines;
    // The local engines' ports, held for them until the test ends.
    const ReservedPort pop3Port, smtpPort;
};

}  // namespace testing_support
