#pragma once
// A pseudo-terminal pair standing in for a relay on a serial line: the test writes the relay's
// bytes into the master side, the program under test opens the slave side as its port.

#include "companel/link/port_name.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slave_ = QString::fromLocal8Bit(ptsname(master_));
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    ~PtyPair() { CloseMaster(); }
    bool Ok() const { return master_ >= 0 && !slave_.isEmpty(); }
    QString SlavePath() const { return slave_; }
    void Write(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }
    // Reads what arrives within `ms` milliseconds of silence.
    QByteArray Read(int ms) const {
        QByteArray out;
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, ms) > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<qsizetype>(n));
        }
        return out;
    }
    void CloseMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    QString slave_;
};

// Makes port number `n` of the program in AppDir lead to `device` (a ports-folder link).
inline bool LinkAsComPort(const QString& device, int n) {
    const QString folder = companel::PortLinkFolder();
    const QString link = folder + QStringLiteral("/COM%1").arg(n);
    QFile::remove(link);
    return QDir().mkpath(folder) && QFile::link(device, link);
}
