// A first-come, first-served gate in front of the request handling: at most
// `slots` requests are worked on at once and the others wait asleep in the
// order they arrived. With one thread per connection, dozens of requests
// would otherwise compete for a few cores and for the database at the same
// time, and the unfair hand-over of an ordinary mutex lets some of them wait
// many times longer than the rest.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace zt::docsrv {

class CAdmission {
  public:
    explicit CAdmission(size_t slots) : free_(slots ? slots : 1) {}
    CAdmission(const CAdmission&) = delete;
    CAdmission& operator=(const CAdmission&) = delete;

    void Enter() {
        std::unique_lock<std::mutex> g(mutex_);
        if (free_ > 0 && queue_.empty()) {
            --free_;
            return;
        }
        Waiter me;
        queue_.push_back(&me);
        me.cv.wait(g, [&] { return me.admitted; });
    }

    // Hands the slot straight to the longest waiting request, if any.
    void Leave() {
        std::lock_guard<std::mutex> g(mutex_);
        if (queue_.empty()) {
            ++free_;
            return;
        }
        Waiter* next = queue_.front();
        queue_.pop_front();
        next->admitted = true;
        next->cv.notify_one();
    }

    // Requests waiting for a slot now.
    size_t Waiting() {
        std::lock_guard<std::mutex> g(mutex_);
        return queue_.size();
    }

    class Ticket {
      public:
        explicit Ticket(CAdmission& gate) : gate_(gate) { gate_.Enter(); }
        ~Ticket() { gate_.Leave(); }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

      private:
        CAdmission& gate_;
    };

  private:
    struct Waiter {
        std::condition_variable cv;
        bool admitted = false;
    };
    std::mutex mutex_;
    std::deque<Waiter*> queue_;
    size_t free_;
};

} // namespace zt::docsrv
