#include "platform/ShutdownRequests.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/Log.h"

namespace platform {
namespace {

// The socket pair: the handler writes to [1], the event thread reads [0].
int g_pipe[2] = {-1, -1};
ShutdownRequests* g_owner = nullptr;

extern "C" void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing can be done in a handler when the pipe is full: a request is pending anyway.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void closePipe() {
    for (int& fd : g_pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace

ShutdownRequests::ShutdownRequests(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), onRequest_(std::move(onRequest)) {}

ShutdownRequests::~ShutdownRequests() { unwatchSignals(); }

bool ShutdownRequests::watchSignals(std::initializer_list<int> signalNumbers) {
    if (g_owner) return g_owner == this;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        MiscFuncs::WriteLog(0, "#", std::string("Error in ShutdownRequests::watchSignals ") + std::strerror(errno));
        return false;
    }
    g_owner = this;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ShutdownRequests::readSignals);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : signalNumbers) {
        struct sigaction before {};
        if (::sigaction(number, &action, &before) != 0) {
            MiscFuncs::WriteLog(0, "#", "Error in ShutdownRequests::watchSignals signal " + std::to_string(number));
            unwatchSignals();
            return false;
        }
        previous_.emplace_back(number, before);
    }
    return true;
}

void ShutdownRequests::unwatchSignals() {
    if (g_owner != this) return;
    for (auto& [number, before] : previous_) ::sigaction(number, &before, nullptr);
    previous_.clear();
    delete notifier_;
    notifier_ = nullptr;
    closePipe();
    g_owner = nullptr;
}

void ShutdownRequests::watchApplication(QGuiApplication* application) {
    if (!application) return;
    connect(application, &QGuiApplication::commitDataRequest, this, &ShutdownRequests::request);
    connect(application, &QCoreApplication::aboutToQuit, this, &ShutdownRequests::request);
}

void ShutdownRequests::readSignals() {
    unsigned char bytes[16];
    ssize_t n = 0;
    int last = 0;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) last = bytes[n - 1];
    if (last == 0) return;
    if (!requested_) signal_ = last;
    request();
}

void ShutdownRequests::request() {
    if (requested_) return;
    requested_ = true;
    if (onRequest_) onRequest_();
}

}  // namespace platform
