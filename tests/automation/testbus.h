// The test process's private bus, and the test service on it.
#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include "automation/privatebus.h"

namespace zt::test {

extern PrivateBus* g_bus;

#define ZT_NEED_BUS()                                                                  \
    do {                                                                               \
        if (!::zt::test::g_bus) GTEST_SKIP() << "dbus-daemon is not available";        \
    } while (0)

// The test's own connection to the private bus.
inline QDBusConnection TestBus() {
    return QDBusConnection::connectToBus(g_bus->Address(), QStringLiteral("zt-test"));
}

// Runs the event loop until done() or the time is up.
template <typename F>
bool SpinUntil(F done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The test service process (dbus_test_service), up while the object lives.
class TestService {
public:
    bool Start() {
        proc_.setProgram(QStringLiteral(ZT_DBUS_TEST_SERVICE));
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start();
        if (!proc_.waitForStarted(5000)) return false;
        while (!proc_.canReadLine() && proc_.waitForReadyRead(5000)) {
        }
        return proc_.readLine().trimmed() == "ready";
    }
    ~TestService() {
        proc_.terminate();
        if (!proc_.waitForFinished(3000)) proc_.kill();
        proc_.waitForFinished(1000);
    }

private:
    QProcess proc_;
};

// Tests against the test service: one service process for the whole suite,
// started when the private bus is up. Derived fixtures call
// TestServiceSuite::SetUp() first.
class TestServiceSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!g_bus) return;
        service_ = new TestService;
        if (!service_->Start()) {
            delete service_;
            service_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override {
        ZT_NEED_BUS();
        ASSERT_NE(service_, nullptr) << "the test service did not start";
    }
    static inline TestService* service_ = nullptr;
};

} // namespace zt::test
