// Job threads with a register of the running ones and cooperative termination.
#include "engine/WindowMultiThreadManager.h"

#include "engine/CancelFlag.h"

#include <unistd.h>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::gettid()); }

namespace {

// What the handle register keeps per thread: the job's cancellation flag.
struct ThreadHandle {
    CCancelFlag cancel;
};

} // namespace

// Shared by the manager and its threads, so that a thread that outlives the
// manager (it was cancelled and is just finishing) still finds its registers.
struct CWindowMultiThreadManager::Shared {
    std::mutex handleLock;
    std::map<std::uint32_t, std::shared_ptr<ThreadHandle>> handles;
    std::mutex functionLock;
    std::map<std::uint32_t, ThreadFunc> functions;
    std::mutex parameterLock;
    std::map<std::uint32_t, ThreadParam> parameters;

    mutable std::mutex runningLock;
    std::condition_variable runningChanged;
    int running = 0;

    void remove(std::uint32_t id, bool terminate) {
        std::shared_ptr<ThreadHandle> handle;
        {
            std::lock_guard lockHandles(handleLock);
            std::lock_guard lockFunctions(functionLock);
            std::lock_guard lockParameters(parameterLock);
            if (auto it = handles.find(id); it != handles.end()) {
                handle = std::move(it->second);
                handles.erase(it);
            }
            functions.erase(id);
            parameters.erase(id);
        }
        // Outside the locks: cancelling waits for a step of the job in
        // progress, which may itself start or end a job.
        if (handle && terminate) handle->cancel.Cancel();
    }
};

CWindowMultiThreadManager::CWindowMultiThreadManager() : m_shared(std::make_shared<Shared>()) {}

CWindowMultiThreadManager::~CWindowMultiThreadManager() { TerminateAllThreads(); }

std::uint32_t CWindowMultiThreadManager::StartThread(ThreadFunc func, ThreadParam param) {
    auto handle = std::make_shared<ThreadHandle>();
    std::promise<std::uint32_t> idPromise;
    std::future<std::uint32_t> idFuture = idPromise.get_future();
    // The new thread reports its id, then waits until it is registered: the
    // job must find its own entries when it starts.
    std::promise<void> goPromise;
    std::shared_future<void> go = goPromise.get_future().share();
    std::shared_ptr<Shared> shared = m_shared;
    {
        std::lock_guard guard(shared->runningLock);
        ++shared->running;
    }
    try {
        std::thread([shared, handle, go, idPromise = std::move(idPromise)]() mutable {
            std::uint32_t id = CurrentThreadId();
            idPromise.set_value(id);
            go.wait();
            CCancelFlag::SetCurrent(&handle->cancel);
            threadEntry(shared, id);
            CCancelFlag::SetCurrent(nullptr);
            std::lock_guard guard(shared->runningLock);
            --shared->running;
            shared->runningChanged.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard guard(shared->runningLock);
        --shared->running;
        return 0;
    }
    std::uint32_t id = idFuture.get();
    {
        // Always handle, function, parameter: the lock order of every path
        // that takes more than one of them.
        std::lock_guard lockHandles(shared->handleLock);
        std::lock_guard lockFunctions(shared->functionLock);
        std::lock_guard lockParameters(shared->parameterLock);
        shared->handles[id] = handle;
        shared->functions[id] = func;
        shared->parameters[id] = param;
    }
    goPromise.set_value();
    return id;
}

void CWindowMultiThreadManager::threadEntry(const std::shared_ptr<Shared>& shared, std::uint32_t id) {
    ThreadFunc func = nullptr;
    ThreadParam param = 0;
    {
        std::lock_guard guard(shared->functionLock);
        if (auto it = shared->functions.find(id); it != shared->functions.end()) func = it->second;
    }
    {
        std::lock_guard guard(shared->parameterLock);
        if (auto it = shared->parameters.find(id); it != shared->parameters.end()) param = it->second;
    }
    if (func) {
        try {
            func(param);
        } catch (...) {
            // A job reports its own failures; one that escapes must not take
            // the process down.
        }
    }
    shared->remove(id, false);
}

void CWindowMultiThreadManager::RemoveThread(std::uint32_t id, bool terminate) { m_shared->remove(id, terminate); }

void CWindowMultiThreadManager::TerminateAllThreads() {
    std::map<std::uint32_t, std::shared_ptr<ThreadHandle>> handles;
    {
        std::lock_guard guard(m_shared->handleLock);
        handles.swap(m_shared->handles);
    }
    // Outside the lock, as in remove(); an error for one cannot stop the others.
    for (auto& [id, handle] : handles) handle->cancel.Cancel();
}

CWindowMultiThreadManager::Registration CWindowMultiThreadManager::RegisteredIn(std::uint32_t id) const {
    Registration r;
    std::lock_guard lockHandles(m_shared->handleLock);
    std::lock_guard lockFunctions(m_shared->functionLock);
    std::lock_guard lockParameters(m_shared->parameterLock);
    r.handle = m_shared->handles.count(id) != 0;
    r.function = m_shared->functions.count(id) != 0;
    r.parameter = m_shared->parameters.count(id) != 0;
    return r;
}

int CWindowMultiThreadManager::RunningCount() const {
    std::lock_guard guard(m_shared->runningLock);
    return m_shared->running;
}

bool CWindowMultiThreadManager::WaitForAll(std::chrono::milliseconds timeout) const {
    std::unique_lock guard(m_shared->runningLock);
    return m_shared->runningChanged.wait_for(guard, timeout, [this] { return m_shared->running == 0; });
}
