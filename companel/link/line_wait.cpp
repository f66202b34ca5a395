#include "line_wait.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace companel {

#ifdef Q_OS_UNIX

WakeSignal::WakeSignal() {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
}

WakeSignal::~WakeSignal() {
    if (readFd_ >= 0)
        ::close(readFd_);
    if (writeFd_ >= 0)
        ::close(writeFd_);
}

void WakeSignal::Wake() {
    if (writeFd_ < 0)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost by failing then.
    [[maybe_unused]] const ssize_t n = ::write(writeFd_, &byte, 1);
}

void WakeSignal::Drain() {
    char buf[64];
    while (readFd_ >= 0 && ::read(readFd_, buf, sizeof buf) > 0) {
    }
}

LineEvent WaitForLine(qintptr handle, WakeSignal& wake, int timeoutMs) {
    pollfd fds[2] = {{static_cast<int>(handle), POLLIN, 0}, {wake.Descriptor(), POLLIN, 0}};
    int n;
    do {
        n = ::poll(fds, 2, timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return LineTimeout;
    if (fds[1].revents & POLLIN)
        return LineWoken;
    return LineReadable; // data, or a hang-up the port's own read will report
}

#else

WakeSignal::WakeSignal() = default;
WakeSignal::~WakeSignal() = default;
void WakeSignal::Wake() {}
void WakeSignal::Drain() {}
LineEvent WaitForLine(qintptr, WakeSignal&, int) {
    return LineTimeout;
}

#endif

} // namespace companel
