// One private session bus for the whole test process, started before any
// test touches D-Bus.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "automation/privatebus.h"
#include "automation/testbus.h"

namespace zt::test {
PrivateBus* g_bus = nullptr;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    zt::test::PrivateBus bus;
    if (bus.Start()) zt::test::g_bus = &bus;
    return RUN_ALL_TESTS();
}
