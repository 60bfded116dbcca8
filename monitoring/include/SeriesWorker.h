#pragma once

#include <QObject>

// A place for series updates off the GUI thread; the plots do not need one today.
class SeriesWorker : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
};
