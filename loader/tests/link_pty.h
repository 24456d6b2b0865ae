// The controlling side of a pseudo-terminal for tests: the loader opens
// slavePath() as its serial device, the test reads and writes the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <stdexcept>

namespace vrx::test {

class PtyMaster {
  public:
    PtyMaster() {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
            throw std::runtime_error("no pseudo-terminal available");
        }
        slave_ = QString::fromLocal8Bit(ptsname(fd_));
        termios raw{};
        tcgetattr(fd_, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd_, TCSANOW, &raw);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyMaster() { close(); }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    QString slavePath() const { return slave_; }
    int fd() const { return fd_; }

    void write(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error("pty write failed");
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }

    // Everything readable now, after waiting up to `waitMs` for the first byte.
    QByteArray readAvailable(int waitMs = 0) {
        QByteArray out;
        pollfd p{fd_, POLLIN, 0};
        if (waitMs > 0) ::poll(&p, 1, waitMs);
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, n);
        }
        return out;
    }

    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    QString slave_;
};

}  // namespace vrx::test
