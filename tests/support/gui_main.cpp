// Test main for window tests: a QApplication on the offscreen platform unless told otherwise.
#include "platform/eventgate.h"
#include "platform/pictures.h"
#include "platform/window.h"

#include <QApplication>
#include <QStyleFactory>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    vorpel::ui::installEventGate();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // The program's own shut-down: windows gone, then the picture cache, so a sanitizer build's
    // leak check sees what the tests leaked and not what only lives until exit.
    for (vorpel::ui::Window* w : vorpel::ui::openWindows()) w->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    vorpel::ui::releasePictures();
    return result;
}
