// SPDX-License-Identifier: MIT
#include "linerateprobe.h"

#include "ptypair.h"
#include "serial/portassignment.h"

#include <QDir>

#include <QFile>

#include <algorithm>
#include <cmath>

#include <csignal>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = LineFeeder::Clock;
using namespace std::chrono_literals;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

int openRawReader(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    return fd;
}

void percentilesInto(LinerateProbe::Figures &figures, std::vector<double> delays)
{
    figures.samples = qsizetype(delays.size());
    if (delays.empty())
        return;
    std::sort(delays.begin(), delays.end());
    figures.p50 = delays[delays.size() / 2];
    figures.p99 = delays[std::min(delays.size() - 1, size_t(std::ceil(delays.size() * 0.99)) - 1)];
    figures.max = delays.back();
}

// Each write's delay to the first change of the pixels after it.
void delaysInto(LinerateProbe::Figures &figures, const std::vector<Clock::time_point> &writes,
                const std::vector<Clock::time_point> &changes)
{
    std::vector<double> delays;
    for (const Clock::time_point written : writes) {
        const auto change = std::lower_bound(changes.begin(), changes.end(), written);
        if (change == changes.end() || *change - written > 1s)
            ++figures.unseen;
        else
            delays.push_back(msBetween(written, *change));
    }
    percentilesInto(figures, std::move(delays));
}

} // namespace

LinerateProbe::LinerateProbe() = default;

LinerateProbe::~LinerateProbe()
{
    if (m_bareReader.joinable()) {
        m_stop = true;
        (void)::write(m_barePty->masterFd(), "x", 1);
        m_bareReader.join();
    }
    if (m_bareFd >= 0)
        ::close(m_bareFd);
    m_window.quit();
    m_xServer.terminate();
    m_xServer.waitForFinished(5000);
}

bool LinerateProbe::setUp(const QString &program)
{
    qputenv("TOLVANE_PORT_DIR", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    m_xServer.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_xServer.waitForReadyRead(20000)) {
        m_failure = QStringLiteral("Xvfb did not start (scripts/install-deps installs it)");
        return false;
    }
    const QString display = QLatin1Char(':') + QString::fromLatin1(m_xServer.readLine().trimmed());
    m_pty = std::make_unique<PtyPair>(m_dir.path(), 3);
    m_barePty = std::make_unique<PtyPair>(m_dir.path(), 9);
    if (!m_window.start(program, display) || !m_window.command("open")) {
        m_failure = QStringLiteral("the window did not start or open its port");
        return false;
    }
    if (!m_damage.watch(display.toLocal8Bit(), m_window.windowId())) {
        m_failure = QStringLiteral("no DAMAGE events from the X server");
        return false;
    }
    m_bareFd = openRawReader(m_barePty->slavePath());
    m_bareReader = std::thread(&LinerateProbe::readBare, this);
    return true;
}

void LinerateProbe::readBare()
{
    m_bareTid = ::gettid();
    std::vector<char> buffer(64 * 1024);
    while (!m_stop) {
        const ssize_t got = ::read(m_bareFd, buffer.data(), buffer.size());
        if (got > 0)
            m_bareBytes += got;
        else if (got == 0 || errno != EINTR)
            return;
    }
}

int LinerateProbe::boardFd() const
{
    return m_daemon ? m_farPty->masterFd() : m_pty->masterFd();
}

bool LinerateProbe::route(std::optional<Ser2netDaemon::Accepter> accepter)
{
    if (!m_window.command("close"))
        return false;
    m_daemon.reset();
    m_farPty.reset();
    QString target = m_pty->slavePath();
    if (accepter) {
        // The far board's pseudo-terminal stands outside the window's port dir.
        const QString farDir = m_dir.filePath(QStringLiteral("far"));
        QDir().mkpath(farDir);
        m_farPty = std::make_unique<PtyPair>(farDir, 3);
        m_daemon = std::make_unique<Ser2netDaemon>(m_dir.path(), m_farPty->slavePath(), *accepter);
        if (!m_daemon->start()) {
            m_failure = QStringLiteral("ser2net did not start (scripts/install-deps installs it)");
            m_daemon.reset();
            return false;
        }
        target = m_daemon->address();
    }
    PortAssignment assignment(m_dir.path());
    if (!assignment.assign(3, target)) {
        m_failure = assignment.errorString();
        return false;
    }
    if (!m_window.command("open")) {
        m_failure = QStringLiteral("the window did not open %1").arg(target);
        return false;
    }
    return true;
}

procusage::Usage LinerateProbe::bareUsage() const
{
    return procusage::read(::getpid(), m_bareTid);
}

LinerateProbe::Figures LinerateProbe::stream(benchstream::Content content, const LineFeeder::Pace &pace,
                                             std::chrono::milliseconds duration)
{
    const QByteArray cycle = benchstream::makeCycle(content);
    LineFeeder feeder(boardFd(), cycle);
    LineFeeder bareFeeder(m_barePty->masterFd(), cycle);
    (void)m_damage.take();
    const procusage::Usage window = procusage::read(pid_t(m_window.pid()));
    const procusage::Usage xServer = procusage::read(pid_t(m_xServer.processId()));
    const procusage::Usage bare = bareUsage();
    const Clock::time_point start = Clock::now();
    std::thread bareThread([&] { bareFeeder.feed(pace, duration); });
    feeder.feed(pace, duration);
    bareThread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Figures figures;
    figures.window = procusage::ratesBetween(window, procusage::read(pid_t(m_window.pid())), seconds);
    figures.xServer = procusage::ratesBetween(xServer, procusage::read(pid_t(m_xServer.processId())), seconds);
    figures.bare = procusage::ratesBetween(bare, bareUsage(), seconds);
    figures.windowMBs = feeder.written() / 1e6 / seconds;
    figures.bareMBs = bareFeeder.written() / 1e6 / seconds;
    // The last frames, then what the line still held is shown.
    std::this_thread::sleep_for(500ms);
    delaysInto(figures, feeder.writeTimes(), m_damage.take());
    return figures;
}

LinerateProbe::Figures LinerateProbe::idle(benchstream::Content content, std::chrono::milliseconds duration,
                                           int samples)
{
    LineFeeder feeder(boardFd(), benchstream::makeCycle(content));
    std::this_thread::sleep_for(500ms);
    const procusage::Usage window = procusage::read(pid_t(m_window.pid()));
    const procusage::Usage xServer = procusage::read(pid_t(m_xServer.processId()));
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(duration);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Figures figures;
    figures.window = procusage::ratesBetween(window, procusage::read(pid_t(m_window.pid())), seconds);
    figures.xServer = procusage::ratesBetween(xServer, procusage::read(pid_t(m_xServer.processId())), seconds);
    std::vector<double> delays;
    for (int i = 0; i < samples; ++i) {
        (void)m_damage.take();
        const Clock::time_point written = feeder.writeOne();
        if (const auto change = m_damage.firstAfter(written, 500ms))
            delays.push_back(msBetween(written, *change));
        else
            ++figures.unseen;
        // Apart from the frame before, and not in step with any period of the window's.
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + i % 7));
    }
    percentilesInto(figures, std::move(delays));
    return figures;
}

LinerateProbe::Figures LinerateProbe::cliMonitor(const QString &cli, bool ontoTerminal, double rate,
                                                 std::chrono::milliseconds duration)
{
    PtyPair line(m_dir.path(), 5);
    int out[2] = {-1, -1};
    if (ontoTerminal ? ::openpty(&out[0], &out[1], nullptr, nullptr, nullptr) != 0 : ::pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const QByteArray path = QFile::encodeName(cli);
    char *arguments[] = {const_cast<char *>(path.constData()), const_cast<char *>("monitor"),
                         const_cast<char *>("--port"), const_cast<char *>("5"), nullptr};
    pid_t pid = 0;
    const bool started = ::posix_spawn(&pid, path.constData(), &actions, nullptr, arguments, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::thread drain([fd = out[0]] {
        char buffer[65536];
        while (::read(fd, buffer, sizeof buffer) > 0)
            ;
    });
    Figures figures;
    if (started) {
        std::this_thread::sleep_for(1s); // the port opened
        LineFeeder feeder(line.masterFd(), benchstream::makeCycle(benchstream::Content::Lines));
        const procusage::Usage before = procusage::read(pid);
        const Clock::time_point start = Clock::now();
        feeder.feed({rate, 80, {}}, duration);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        figures.window = procusage::ratesBetween(before, procusage::read(pid), seconds);
        figures.windowMBs = feeder.written() / 1e6 / seconds;
        ::kill(pid, SIGINT);
        ::waitpid(pid, nullptr, 0);
    }
    drain.join();
    ::close(out[0]);
    return figures;
}
