#include "UsbWriteRules.h"

#include <algorithm>

UsbWriteRules::UsbWriteRules(std::uint16_t maxPacketSize)
    : m_maxPacketSize(packetSize(maxPacketSize))
{ }

void UsbWriteRules::setMaxPacketSize(std::uint16_t maxPacketSize)
{
    m_maxPacketSize = packetSize(maxPacketSize);
}

UsbWriteRules::Action UsbWriteRules::begin(std::size_t length, bool reliable, int channel)
{
    m_inProgress = true;
    m_reliable = reliable;
    m_channel = channel;
    m_length = length;
    m_sent = 0;
    m_chunk = {};
    if (m_maxPacketSize == 0 && length > 0)
        return finish(Action::Failed); // chunks of nothing would never finish the frame
    return nextChunkOrDone();
}

UsbWriteRules::Action UsbWriteRules::onTransferEnded(UsbTransferResult result,
                                                     std::size_t actualLength)
{
    if (!m_inProgress)
        return Action::Done;
    switch (result) {
    case UsbTransferResult::Completed:
        // A completed bulk OUT transfer took its whole buffer.
        m_sent += m_chunk.length;
        return nextChunkOrDone();
    case UsbTransferResult::Error:
    case UsbTransferResult::TimedOut:
        if (!m_reliable)
            return finish(Action::Done);
        // What went out before the error stays out; only the rest is sent again.
        m_sent += std::min(actualLength, m_chunk.length);
        return nextChunkOrDone();
    case UsbTransferResult::Cancelled:
        return finish(Action::Cancelled);
    case UsbTransferResult::Stall:
    case UsbTransferResult::NoDevice:
    case UsbTransferResult::Overflow:
        return finish(Action::Failed);
    }
    return finish(Action::Failed);
}

UsbWriteRules::Action UsbWriteRules::onResubmitFailed()
{
    return finish(Action::Failed);
}

void UsbWriteRules::reset()
{
    m_inProgress = false;
    m_reliable = false;
    m_channel = 0;
    m_length = 0;
    m_sent = 0;
    m_chunk = {};
}

UsbWriteRules::Action UsbWriteRules::nextChunkOrDone()
{
    if (m_sent >= m_length)
        return finish(Action::Done);
    m_chunk = { m_sent, std::min<std::size_t>(m_maxPacketSize, m_length - m_sent) };
    return Action::Submit;
}

UsbWriteRules::Action UsbWriteRules::finish(Action action)
{
    reset();
    return action;
}
