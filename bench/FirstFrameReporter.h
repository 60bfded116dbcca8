#pragma once

#include <QQuickWindow>

#include <cstdio>

// Writes "first-frame" to standard output once the window has shown its first frame; the start-up
// benchmark reads that line.
inline void reportFirstFrame(QQuickWindow *window)
{
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            static bool reported = false;
            if (reported)
                return;
            reported = true;
            std::fputs("first-frame\n", stdout);
            std::fflush(stdout);
        },
        Qt::DirectConnection);
}
