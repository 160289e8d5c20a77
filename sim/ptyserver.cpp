#include "ptyserver.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyServer::PtyServer(QbxSimulator &simulator, QObject *parent) : QObject(parent), m_sim(simulator)
{
    connect(&m_sim, &QbxSimulator::output, this, [this](const QByteArray &bytes, int delayMs) {
        QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes]() { write(bytes); });
    });
    connect(&m_sim, &QbxSimulator::disconnected, this, &PtyServer::hangUp);
}

PtyServer::~PtyServer()
{
    hangUp();
}

bool PtyServer::start()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_path = QString::fromLocal8Bit(::ptsname(m_master));
    // Keep one handle on the terminal side so that it stays raw (no echo, no
    // end-of-file on EOT) and reads do not fail while no program has it open.
    m_slaveKeep = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_slaveKeep >= 0) {
        termios tio;
        if (::tcgetattr(m_slaveKeep, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slaveKeep, TCSANOW, &tio);
        }
    }
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyServer::readMaster);
    return true;
}

void PtyServer::readMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_sim.receive(QByteArray(buffer, int(n)));
            continue;
        }
        break;
    }
}

void PtyServer::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
}

void PtyServer::hangUp()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_slaveKeep >= 0)
        ::close(m_slaveKeep);
    m_slaveKeep = -1;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

} // namespace sim
