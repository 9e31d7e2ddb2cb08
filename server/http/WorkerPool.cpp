#include "server/http/WorkerPool.h"

namespace tarvelo::server {

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
    close();
}

bool WorkerPool::submit(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return false;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void WorkerPool::close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_wake.notify_all();
    for (auto& t : m_threads)
        if (t.joinable()) t.join();
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_closed || !m_jobs.empty(); });
            if (m_jobs.empty()) return;  // closed, and nothing left
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        // A job answers for its own failures; one that escapes is dropped, not the process.
        try {
            job();
        } catch (...) {
        }
    }
}

}  // namespace tarvelo::server
