#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLocalRelativeConverter)
Q_DECLARE_LOGGING_CATEGORY(lcCoordinateConverter)
Q_DECLARE_LOGGING_CATEGORY(lcMapContext)

// Counts nested conversions through maps' global converters on this thread. A map whose global
// converter leads back to itself would otherwise recurse until the stack overflows.
class ConverterDepthGuard
{
public:
    ConverterDepthGuard();
    ~ConverterDepthGuard();
    ConverterDepthGuard(const ConverterDepthGuard &) = delete;
    ConverterDepthGuard &operator=(const ConverterDepthGuard &) = delete;

    bool exceeded() const;

    static constexpr int maximumDepth = 32;
};
