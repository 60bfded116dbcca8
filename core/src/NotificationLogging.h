#pragma once

#include <QLoggingCategory>

// Shared by the notification classes and their hub.
Q_DECLARE_LOGGING_CATEGORY(lcNotifications)
