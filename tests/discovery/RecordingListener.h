#pragma once

#include "DeviceDiscoveryListener.h"

#include <QList>

#include <mutex>

// Keeps every report of a discovery engine; safe to read from another thread than the engine's.
class RecordingListener final : public orvane::infra::DeviceDiscoveryListener
{
public:
    struct Report
    {
        bool added;
        orvane::infra::NetworkDeviceInfo info;
    };

    void deviceAdded(orvane::infra::NetworkDeviceInfo info) override
    {
        const std::lock_guard lock(m_mutex);
        m_reports.append({ true, std::move(info) });
    }
    void deviceRemoved(orvane::infra::NetworkDeviceInfo info) override
    {
        const std::lock_guard lock(m_mutex);
        m_reports.append({ false, std::move(info) });
    }
    QList<Report> reports() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reports;
    }
    void clear()
    {
        const std::lock_guard lock(m_mutex);
        m_reports.clear();
    }

private:
    mutable std::mutex m_mutex;
    QList<Report> m_reports;
};
