#include "OrvPacketQueue.h"

OrvPacketQueue::OrvPacketQueue(QObject *parent)
    : QObject(parent)
{ }

OrvPacketQueue::~OrvPacketQueue()
{
    close();
}

void OrvPacketQueue::enqueue(Entry entry)
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(std::move(entry));
    }
    m_changed.notify_all();
}

std::optional<OrvPacketQueue::Entry> OrvPacketQueue::waitTake()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_closed || !m_entries.empty(); });
    if (m_closed)
        return std::nullopt;
    Entry entry = std::move(m_entries.front());
    m_entries.pop_front();
    ++m_inHand;
    return entry;
}

void OrvPacketQueue::finished()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_inHand > 0)
            --m_inHand;
    }
    m_changed.notify_all();
}

void OrvPacketQueue::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

void OrvPacketQueue::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }
    m_changed.notify_all();
}

bool OrvPacketQueue::waitUntilDrained(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline,
                                [this] { return m_entries.empty() && m_inHand == 0; });
}

std::size_t OrvPacketQueue::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

bool OrvPacketQueue::isClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}
