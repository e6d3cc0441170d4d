#include "engine/ConversionPool.h"

namespace kelvara {

ConversionPool::ConversionPool(int workers) : workers_(workers < 1 ? 1 : workers) {
    threads_.reserve(static_cast<std::size_t>(workers_));
    for (int worker = 1; worker <= workers_; ++worker)
        threads_.emplace_back([this, worker] { run(worker); });
}

ConversionPool::~ConversionPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_) thread.join();
}

void ConversionPool::submit(std::function<void(int worker)> task) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return busy_ < workers_; });
    ++busy_;
    tasks_.push_back(std::move(task));
    lock.unlock();
    changed_.notify_all();
}

void ConversionPool::waitForFreeWorker() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return busy_ < workers_; });
}

void ConversionPool::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return busy_ == 0; });
}

void ConversionPool::run(int worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
        // Tasks taken are finished even when stopping: each one completes its song's report.
        if (tasks_.empty()) return;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task(worker);
        lock.lock();
        --busy_;
        changed_.notify_all();
    }
}

}  // namespace kelvara
