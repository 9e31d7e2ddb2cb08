#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvelo::server {

// A fixed number of threads that run submitted jobs in the order they came. Thread-safe.
class WorkerPool {
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues `job`; false once close() has begun, when the job is not run.
    bool submit(std::function<void()> job);
    // Refuses new jobs, runs every job submitted before, and ends the threads.
    void close();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_closed = false;
    std::vector<std::thread> m_threads;
};

}  // namespace tarvelo::server
