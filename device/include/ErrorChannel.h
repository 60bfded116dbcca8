#pragma once

#include "AbstractService.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The device message channel (channel 6): the text messages a controller's firmware and user
// application print (kernel output, errors, warnings) reach the host here. Every message is
// written to the log and raised as a signal; the device object makes notifications of them.
//
// Message from the device (little-endian): u8 level, u8 flags, u16 text length, UTF-8 text.
// Flags: 0x01 kernel message, 0x02 level report (the level byte is the device's current message
// level), 0x04 fragment of a longer message, 0x08 last fragment, 0x10 overflow (the device
// dropped messages).
//
// Fragments are collected as bytes and decoded once the message is complete, so a character
// split between two frames survives. The collected text is capped at MaxMessageBytes: a device
// that never sends the last fragment gets its text delivered in parts of at most that size
// (with a warning) instead of growing the buffer without bound. Fragments cut short by a plain
// message are delivered with their own level and kernel flag.
//
// Threading: GUI thread only.
class ErrorChannel : public AbstractService
{
    Q_OBJECT

public:
    // The device's message level. Only Warning, Error and Critical are interpreted; any other
    // byte is passed on unchanged.
    enum LogLevel : uint8_t {
        Warning = 3,
        Error = 4,
        Critical = 5,
    };
    Q_ENUM(LogLevel)

    enum Flag : uint8_t {
        KernelMessage = 0x01,
        LevelReport = 0x02,
        Fragment = 0x04,
        LastFragment = 0x08,
        Overflow = 0x10,
    };

    static constexpr int HeaderSize = 4;
    static constexpr qsizetype MaxMessageBytes = 16 * 1024;
    // The level the host asks the device for when the channel opens.
    static constexpr uint32_t DefaultLogLevel = 2;

    ErrorChannel(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);
    ~ErrorChannel() override;

    // The level the device last reported (0 before any report).
    int32_t reportedLevel() const { return m_reportedLevel; }

    // The text a notification shows for a device message: what follows the first "]" (the
    // device's own prefix), without one leading blank. A message without "]" keeps its whole
    // text rather than becoming an empty notification.
    static QString notificationText(const QString &message);

signals:
    void messageReceived(ErrorChannel::LogLevel level, QString msg);
    void kernelMessageReceived(ErrorChannel::LogLevel level, QString msg);
    void overflow();
    void logLevelReceived();

public slots:
    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override { }

    // Asks the device to send messages of `level` (request kind 0).
    void sendLogLevel(uint32_t level);
    // Level request, 8 bytes: u8 kind, three zero bytes, u32 level.
    void sendLogLevelRequest(uint8_t requestKind, uint32_t level);

private:
    void appendFragment(const QByteArray &text, bool kernel, LogLevel level);
    void flushFragments();
    void deliver(bool kernel, LogLevel level, const QByteArray &utf8);

    int32_t m_reportedLevel = 0;
    QByteArray m_fragments;
    bool m_fragmentPending = false;
    uint8_t m_lastRequestKind = 0;
    // Level and kernel flag of the latest collected fragment.
    bool m_fragmentKernel = false;
    LogLevel m_fragmentLevel = LogLevel(0);
    // The pending message has outgrown MaxMessageBytes (warned once per message).
    bool m_deliveringInParts = false;
};
