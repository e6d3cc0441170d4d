#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvara {

// One background thread that runs posted tasks one after the other, in the order posted. The
// destructor drops tasks not yet started, lets the running one finish and joins the thread.
class SerialWorker {
  public:
    SerialWorker() = default;
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task);
    bool isWorkerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kelvara
