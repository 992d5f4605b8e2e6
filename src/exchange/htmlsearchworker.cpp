#include "exchange/htmlsearchworker.h"

#include "exchange/htmlsearch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace zt::htmlsite {

namespace {

struct QueuedPage {
    std::string title, href, html;
    size_t begin = 0, end = 0;
};

} // namespace

class SearchIndexWorker::Impl {
public:
    explicit Impl(size_t maxQueuedBytes) : maxQueued_(maxQueuedBytes) {
        thread_ = std::thread([this] {
            ::pthread_setname_np(::pthread_self(), "zt-site-index");
            Work();
        });
    }

    ~Impl() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void Add(std::string title, std::string href, std::string html, size_t begin, size_t end) {
        std::unique_lock<std::mutex> lock(mutex_);
        // One page larger than the whole bound still goes in once nothing waits.
        const auto fits = [&] {
            const size_t held = queuedBytes_ + busyBytes_;
            return failure_ || held == 0 || held + html.size() <= maxQueued_;
        };
        if (!fits()) {
            writerWaiting_ = true;
            wake_.notify_one();
            room_.wait(lock, fits);
            writerWaiting_ = false;
        }
        if (failure_) return;
        queuedBytes_ += html.size();
        end = std::min(end, html.size());
        queue_.push_back(QueuedPage{std::move(title), std::move(href), std::move(html), std::min(begin, end), end});
        // The thread is woken for a batch of pages, not for every small page:
        // a wake-up costs both processors more than converting a short page.
        const bool wake = idle_ && Batch();
        lock.unlock();
        if (wake) wake_.notify_one();
    }

    std::string Finish() {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            finishing_ = true;
            wake_.notify_one();
            room_.wait(lock, [&] { return done_; });
        }
        if (thread_.joinable()) thread_.join();
        if (failure_) std::rethrow_exception(failure_);
        return index_.TakeScript();
    }

private:
    bool Batch() const { return queuedBytes_ >= kBatchBytes || queue_.size() >= kBatchPages; }

    void Work() {
        std::string plain;
        std::deque<QueuedPage> batch;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                busyBytes_ = 0; // the batch taken last time is done
                room_.notify_all();
                idle_ = true;
                wake_.wait(lock, [&] { return stop_ || finishing_ || writerWaiting_ || Batch(); });
                idle_ = false;
                if (stop_ || (queue_.empty() && finishing_)) {
                    done_ = true;
                    lock.unlock();
                    room_.notify_all();
                    return;
                }
                // The whole queue at once; its bytes count until they are
                // done, so the writer stays within the bound.
                batch.swap(queue_);
                busyBytes_ = queuedBytes_;
                queuedBytes_ = 0;
            }
            try {
                for (QueuedPage& page : batch) {
                    plain.clear();
                    AppendHtmlText(plain, std::string_view(page.html).substr(page.begin, page.end - page.begin));
                    index_.Add(page.title, page.href, plain);
                }
                batch.clear();
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                failure_ = std::current_exception();
                queue_.clear();
                queuedBytes_ = busyBytes_ = 0;
                done_ = true;
                room_.notify_all();
                return;
            }
        }
    }

    static constexpr size_t kBatchBytes = 1u << 20;
    static constexpr size_t kBatchPages = 256;

    const size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable wake_; // the thread waits for pages
    std::condition_variable room_; // the writer waits for room, or for the end
    std::deque<QueuedPage> queue_;
    size_t queuedBytes_ = 0; // in the queue
    size_t busyBytes_ = 0;   // in the batch the thread works on
    bool stop_ = false, finishing_ = false, done_ = false, idle_ = false, writerWaiting_ = false;
    std::exception_ptr failure_;
    SearchIndex index_; // touched by the thread alone until it is done
    std::thread thread_;
};

SearchIndexWorker::SearchIndexWorker(size_t maxQueuedBytes) : impl_(std::make_unique<Impl>(maxQueuedBytes)) {}
SearchIndexWorker::~SearchIndexWorker() = default;

void SearchIndexWorker::Add(std::string titleUtf8, std::string href, std::string html, size_t begin, size_t end) {
    impl_->Add(std::move(titleUtf8), std::move(href), std::move(html), begin, end);
}

std::string SearchIndexWorker::Finish() { return impl_->Finish(); }

} // namespace zt::htmlsite
