#pragma once

// For the benchmarks that drive windows: offscreen unless told otherwise, without the
// offscreen platform's warning on every window raise in the figures.

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace vorpelbench {

inline void quietRaise(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.contains("does not support raise()")) return;
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// Call before the QApplication is made.
inline void quietOffscreen() {
    qInstallMessageHandler(quietRaise);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace vorpelbench
