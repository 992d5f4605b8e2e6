// The server's request gate: never more requests at work than it has slots,
// and waiting requests go in the order they came.
#include "../../docserver/admission.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using zt::docsrv::CAdmission;
using namespace std::chrono_literals;

// With one slot the order of work is the order of admission.
TEST(Admission, WaitersGoInTheOrderTheyCame) {
    CAdmission gate(1);
    std::atomic<int> inside{0}, most{0};
    std::mutex orderMutex;
    std::vector<int> order;
    // The slot is taken; the others queue one after the other.
    gate.Enter();
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            CAdmission::Ticket t(gate);
            {
                std::lock_guard<std::mutex> g(orderMutex);
                order.push_back(i);
            }
            const int now = ++inside;
            for (int m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
            }
            std::this_thread::sleep_for(2ms);
            --inside;
        });
        // Each waiter is queued before the next one starts.
        while (gate.Waiting() < size_t(i + 1)) std::this_thread::sleep_for(1ms);
    }
    gate.Leave();
    for (auto& t : threads) t.join();
    EXPECT_EQ(most.load(), 1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(Admission, NeverMoreAtWorkThanSlots) {
    CAdmission gate(3);
    std::atomic<int> inside{0}, most{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 12; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 20; ++k) {
                CAdmission::Ticket t(gate);
                const int now = ++inside;
                for (int m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
                }
                std::this_thread::sleep_for(100us);
                --inside;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 2);
    // Every slot is free again: three enter without waiting.
    gate.Enter();
    gate.Enter();
    gate.Enter();
    gate.Leave();
    gate.Leave();
    gate.Leave();
}

} // namespace
