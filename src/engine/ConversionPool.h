#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kelvara {

// A fixed set of worker threads numbered 1 to N that run one task each at a time, so that at most
// N tasks are ever taken. Each task learns its worker's number, which names the worker's own
// working files. The destructor lets the tasks taken finish and joins every worker.
class ConversionPool {
  public:
    explicit ConversionPool(int workers);
    ~ConversionPool();
    ConversionPool(const ConversionPool&) = delete;
    ConversionPool& operator=(const ConversionPool&) = delete;

    // Waits while every worker is busy, then hands `task` to a free one. The task must not throw.
    void submit(std::function<void(int worker)> task);
    // Waits until a worker is free, so that a decision taken now is not overtaken by the wait.
    void waitForFreeWorker();
    // Waits until every task handed over has finished.
    void waitIdle();

  private:
    void run(int worker);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void(int)>> tasks_;
    int busy_ = 0;  // tasks handed over and not finished, queued ones included
    bool stopping_ = false;
    const int workers_;
    std::vector<std::thread> threads_;
};

}  // namespace kelvara
