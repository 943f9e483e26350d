#pragma once
// Requests from outside to end the program, brought onto the event loop: the signals
// SIGTERM, SIGINT and SIGHUP (through a socket pair: the handler only writes a byte,
// a QSocketNotifier reads it on the event thread), the end of the desktop session
// (commitDataRequest) and the application quitting (aboutToQuit). The first request
// calls `onRequest`; later ones are ignored, so the orderly shut-down runs once.
//
// One object at a time may watch the signals; its destruction restores the handlers
// that were in place before.

#include <QGuiApplication>
#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <initializer_list>
#include <vector>

namespace platform {

class ShutdownRequests : public QObject {
    Q_OBJECT

public:
    explicit ShutdownRequests(std::function<void()> onRequest, QObject* parent = nullptr);
    ~ShutdownRequests() override;
    ShutdownRequests(const ShutdownRequests&) = delete;
    ShutdownRequests& operator=(const ShutdownRequests&) = delete;

    // False when another object watches already, or the pipe or a handler could not be
    // set up (nothing is then left installed).
    bool watchSignals(std::initializer_list<int> signalNumbers = {SIGTERM, SIGINT, SIGHUP});
    void watchApplication(QGuiApplication* application);

    bool requested() const { return requested_; }
    // The signal that asked, 0 when none did.
    int signalNumber() const { return signal_; }

private:
    void request();
    void readSignals();
    void unwatchSignals();

    std::function<void()> onRequest_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, struct sigaction>> previous_;
    bool requested_ = false;
    int signal_ = 0;
};

}  // namespace platform
