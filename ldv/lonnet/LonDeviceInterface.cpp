#include "ldv/lonnet/LonDeviceInterface.h"

#include "ldv/ldv32.h"
#include "lontalk/LinkFrames.h"

#include <algorithm>
#include <cstdio>

namespace ldv::lonnet {

using namespace lontalk::link;

namespace {
constexpr int MaxFramesPerService = 256;     // bounded work per ldv call
} // namespace

LonDeviceInterface::LonDeviceInterface(QString name, QString device, std::unique_ptr<DeviceLink> link,
                                       LinkTiming timing)
    : m_name(std::move(name)), m_device(std::move(device)), m_link(std::move(link)), m_timing(timing)
{
    m_clock.start();
}

short LonDeviceInterface::open(QString &why)
{
    QString error;
    switch (m_link->open(m_device, error)) {
    case OpenResult::Ok:
        break;
    case OpenResult::NoDevice:
        why = error;
        return LDV_NOT_FOUND;
    case OpenResult::Down:
        why = error + QStringLiteral(" (bring it up, or check that the LON daemon runs for the adapter)");
        return LDV_DEVICE_ERR;
    case OpenResult::Permission:
        why = error + QStringLiteral(" (the program needs the capability CAP_NET_RAW to talk to %1)").arg(m_device);
        return LDVX_ACCESS_DENIED;
    case OpenResult::Failed:
        why = error;
        return LDV_DEVICE_ERR;
    }
    m_silent = false;
    m_triesLeft = m_timing.tries;
    startCheck(true);
    while (m_state == State::Opening) {
        m_link->wait(int(std::clamp<qint64>(m_deadline - now(), 1, m_timing.answerMs)));
        service();
    }
    if (m_state == State::Ready)
        return LDV_OK;
    why = m_lostWhy;
    return m_silent ? short(LDVX_OPEN_FAILED) : short(LDV_DEVICE_ERR);
}

void LonDeviceInterface::startCheck(bool withMode)
{
    // Whatever waited on the socket from before belongs to nobody.
    QByteArray stale;
    QString ignored;
    for (int i = 0; i < MaxFramesPerService && m_link->receive(stale, ignored) == IoResult::Ok; ++i) {
    }
    m_state = State::Opening;
    m_deadline = now() + m_timing.answerMs;
    m_checkPending = true;
    if ((withMode && !sendRaw(setLayer5())) || !sendRaw(flushCancel()))
        return;
    sendRaw(neuronIdRequest(CheckTag));
}

bool LonDeviceInterface::sendRaw(const QByteArray &frame)
{
    QString why;
    const IoResult result = m_link->send(frame, why);
    if (result == IoResult::Ok) {
        ++m_count.down;
        return true;
    }
    if (result == IoResult::Lost || result == IoResult::Failed) {
        lose(why);
        return false;
    }
    return true;    // a full queue: the check's retry sends it again
}

void LonDeviceInterface::service()
{
    if (m_state == State::Lost) {
        if (now() >= m_deadline)
            reopen();
        if (m_state == State::Lost)
            return;
    }
    for (int i = 0; i < MaxFramesPerService; ++i) {
        QByteArray bytes;
        QString why;
        const IoResult result = m_link->receive(bytes, why);
        if (result == IoResult::Empty || result == IoResult::Full)
            break;
        if (result != IoResult::Ok) {
            lose(why);
            return;
        }
        uplink(bytes);
        if (m_state == State::Lost)
            return;
    }
    if (m_state == State::Opening && now() >= m_deadline) {
        if (--m_triesLeft > 0) {
            startCheck(true);
        } else {
            m_silent = true;
            lose(QStringLiteral("the adapter on %1 does not answer in layer 5 (no answer to a local read of its "
                                "Neuron ID in %2 tries of %3 ms)")
                     .arg(m_device)
                     .arg(m_timing.tries)
                     .arg(m_timing.answerMs));
        }
    }
}

void LonDeviceInterface::uplink(const QByteArray &bytes)
{
    ++m_count.up;
    const std::optional<LinkFrame> parsed = parseLinkFrame(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    if (!parsed) {
        ++m_count.bad;
        return;
    }
    if (parsed->tooLong) {
        ++m_count.dropped;
        return;
    }
    const QByteArray &frame = parsed->frame;
    if (m_checkPending && isNeuronIdAnswer(frame, CheckTag)) {
        if (m_state == State::Opening) {
            m_state = State::Ready;
            if (m_opened && !m_lostWhy.isEmpty())
                say(QStringLiteral("open again"));
            m_lostWhy.clear();
            m_opened = true;
        }
        return;
    }
    const uint8_t byte0 = uint8_t(frame[0]);
    switch (byte0 & 0xF0) {
    case NiReset & 0xF0:
        if (byte0 != NiReset)
            break;
        ++m_count.resets;
        if (m_state == State::Ready) {
            // The adapter forgot its mode: tell the host, as an interface does after a
            // reset, and set layer 5 again.
            toHost(bytesOf({NiReset, 0}));
            startCheck(true);
        } else {
            // A reset during the check (the mode change may cause one): cancel the flush
            // state again and ask again, within the same try.
            const qint64 deadline = m_deadline;
            startCheck(false);
            m_deadline = deadline;
        }
        return;
    case NiModeEcho5 & 0xF0:
    case NiStatus & 0xF0:
        return;     // the adapter's answers to the mode change and to status
    case 0x30:
        ++m_count.errors;
        return;
    default:
        break;
    }
    if (m_state == State::Ready)
        toHost(frame);
    else
        ++m_count.dropped;
}

void LonDeviceInterface::lose(const QString &why)
{
    m_link->close();
    if (m_state != State::Lost && m_opened)
        say(QStringLiteral("lost: %1; reopening it by name").arg(why));
    m_state = State::Lost;
    m_lostWhy = why.isEmpty() ? QStringLiteral("the device went away") : why;
    m_checkPending = false;
    m_deadline = now() + m_timing.reopenMs;
}

void LonDeviceInterface::reopen()
{
    m_deadline = now() + m_timing.reopenMs;
    QString why;
    if (m_link->open(m_device, why) != OpenResult::Ok) {
        m_lostWhy = why;
        return;
    }
    ++m_count.reopened;
    m_triesLeft = m_timing.tries;
    startCheck(true);
}

void LonDeviceInterface::toHost(const QByteArray &frame)
{
    m_toHost.push(frame);
}

short LonDeviceInterface::read(uint8_t *buffer, int length)
{
    service();
    if (m_toHost.empty() && m_state == State::Lost)
        return LDV_DEVICE_ERR;
    return readStatus(m_toHost.take(buffer, length));
}

short LonDeviceInterface::write(const uint8_t *bytes, int length)
{
    service();
    const std::optional<QByteArray> down = toDevice(bytes, length);
    if (!down)
        return LDV_INVALID_BUF_LEN;
    // A write does not wait for the reopening pace: a device plugged in again is taken at
    // the first frame the host has for it.
    if (m_state == State::Lost)
        reopen();
    if (m_state == State::Lost)
        return LDV_DEVICE_ERR;
    if (m_state == State::Opening)
        return LDV_NO_BUFF_AVAIL;   // setting layer 5 (again): the host tries again shortly
    const uint8_t command = commandOf(bytes[0]);
    if (length > 2 && (command == 1 || command == 2) && (bytes[2] & 0x0F) == CheckTag)
        m_checkPending = false;     // from now on answers under that tag are the host's
    QString why;
    switch (m_link->send(*down, why)) {
    case IoResult::Ok:
        ++m_count.down;
        return LDV_OK;
    case IoResult::Full:
    case IoResult::Empty:
        return LDV_NO_BUFF_AVAIL;
    case IoResult::Lost:
    case IoResult::Failed:
        break;
    }
    // The socket of a device that went away and came back while nobody called: open the
    // new device at once.
    lose(why);
    reopen();
    return m_state == State::Opening ? short(LDV_NO_BUFF_AVAIL) : short(LDV_DEVICE_ERR);
}

QString LonDeviceInterface::describe() const
{
    const QString state = m_state == State::Ready     ? QStringLiteral("layer 5")
                          : m_state == State::Opening ? QStringLiteral("setting layer 5")
                                                      : QStringLiteral("lost (%1)").arg(m_lostWhy);
    return QStringLiteral("%1 on LON device %2: %3; frames down %4, up %5; adapter resets %6, error reports %7, "
                          "dropped %8, malformed %9; reopened %10; frames waiting %11, lost for want of room %12")
        .arg(m_name, m_device, state)
        .arg(m_count.down)
        .arg(m_count.up)
        .arg(m_count.resets)
        .arg(m_count.errors)
        .arg(m_count.dropped)
        .arg(m_count.bad)
        .arg(m_count.reopened)
        .arg(m_toHost.size())
        .arg(m_toHost.overflow());
}

void LonDeviceInterface::say(const QString &text) const
{
    const QString who = m_name == m_device ? m_device : m_name + QStringLiteral(" on ") + m_device;
    std::fprintf(stderr, "libldv32: %s: %s\n", qPrintable(who), qPrintable(text));
}

} // namespace ldv::lonnet
