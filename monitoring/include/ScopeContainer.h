#pragma once

#include <QColor>
#include <QObject>

// Holds the colour of one scope; nothing draws it yet.
class ScopeContainer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QColor color() const { return colour; }

private:
    QColor colour;
};
