#include "script/native_stack.h"

#include <pthread.h>

#include <spdlog/spdlog.h>

#include <exception>

namespace kq::script {

namespace {

struct ThreadBody {
    const std::function<int()>* body;
    int result = 1;
};

void* RunBody(void* arg) {
    auto* work = static_cast<ThreadBody*>(arg);
    try {
        work->result = (*work->body)();
    } catch (const std::exception& e) {
        spdlog::critical("unexpected failure: {}", e.what());
        work->result = 1;
    } catch (...) {
        spdlog::critical("unexpected failure");
        work->result = 1;
    }
    return nullptr;
}

// The lowest address of the calling thread's stack; 0 when unknown. Stacks grow downwards on
// every platform the player runs on.
uintptr_t StackLowEnd() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) {
        return 0;
    }
    void* addr = nullptr;
    size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
    return rc == 0 ? reinterpret_cast<uintptr_t>(addr) : 0;
}

} // namespace

int RunWithScriptStack(const std::function<int()>& body) {
    ThreadBody work{&body};
    pthread_attr_t attr;
    bool started = false;
    pthread_t thread;
    if (pthread_attr_init(&attr) == 0) {
        started = pthread_attr_setstacksize(&attr, kScriptStackBytes) == 0 &&
                  pthread_create(&thread, &attr, RunBody, &work) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!started) {
        spdlog::warn("no thread with a {} MiB stack; scripts run on the main stack",
                     kScriptStackBytes >> 20);
        RunBody(&work);
        return work.result;
    }
    pthread_join(thread, nullptr);
    return work.result;
}

uintptr_t ScriptStackFloor(size_t reserve) {
    // Asking the system is slow for the main thread (it reads the process's memory map), and
    // scripts start many times a frame: each thread asks once.
    thread_local const uintptr_t low = StackLowEnd();
    return low == 0 ? 0 : low + reserve;
}

} // namespace kq::script
