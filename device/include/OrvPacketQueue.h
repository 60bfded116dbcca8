#pragma once

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

// The frames a USB link has accepted and its writer thread has not yet written, oldest first.
//
// Threading: every member is safe from any thread. The GUI thread adds frames; the link's writer
// thread takes them one at a time and reports each one finished, so that a closing link can wait
// until the last frames have gone (waitUntilDrained). close() ends every wait of the writer.
// Ownership: a QObject child of its link; destroyed only after the writer thread was joined.
class OrvPacketQueue : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QByteArray packet;
        bool isReliable = false;
        std::uint16_t channel = 0;
    };

    explicit OrvPacketQueue(QObject *parent = nullptr);
    ~OrvPacketQueue() override;

    void enqueue(Entry entry);
    // Waits for the front entry and takes it; the taker calls finished() once it is done with it.
    // Returns nothing once the queue is closed.
    std::optional<Entry> waitTake();
    void finished();
    // Ends every wait in waitTake, now and later.
    void close();
    // Drops every entry not yet taken.
    void clear();
    // Waits until no entry is left and none taken is still being written, or until `deadline`.
    bool waitUntilDrained(std::chrono::steady_clock::time_point deadline);

    std::size_t size() const;
    bool isClosed() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Entry> m_entries;
    int m_inHand = 0; // taken and not yet finished
    bool m_closed = false;
};
