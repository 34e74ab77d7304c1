// Test main for window tests: a QApplication on the offscreen platform unless told otherwise.
#include "platform/eventgate.h"

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
    return RUN_ALL_TESTS();
}
