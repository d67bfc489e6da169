#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
    const glintwork::test::IsolatedHome home;
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
