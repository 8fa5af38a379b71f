#include "stack/large_stack.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <exception>
#include <memory>

namespace {

// An anonymous mapping with an inaccessible guard page at its low end, so an
// overflow faults instead of running into a neighbouring mapping.
class ReservedStack {
public:
    explicit ReservedStack(std::size_t bytes) {
        void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) return;
        _base = base;
        _bytes = bytes;
        mprotect(_base, guardBytes(), PROT_NONE);
    }
    ReservedStack(const ReservedStack&) = delete;
    ReservedStack& operator=(const ReservedStack&) = delete;
    ~ReservedStack() {
        if (_base) munmap(_base, _bytes);
    }

    explicit operator bool() const { return _base != nullptr; }
    void* usableBase() const { return static_cast<char*>(_base) + guardBytes(); }
    std::size_t usableBytes() const { return _bytes - guardBytes(); }

private:
    static std::size_t guardBytes() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

    void* _base = nullptr;
    std::size_t _bytes = 0;
};

std::unique_ptr<ReservedStack> reserveStack() {
    for (std::size_t bytes = kLargeStackBytes; bytes >= kSmallestLargeStackBytes; bytes /= 2) {
        auto stack = std::make_unique<ReservedStack>(bytes);
        if (*stack) return stack;
    }
    return nullptr;
}

struct ThreadAttributes {
    pthread_attr_t value;
    ThreadAttributes() { pthread_attr_init(&value); }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;
    ~ThreadAttributes() { pthread_attr_destroy(&value); }
};

struct Job {
    const std::function<void()>& work;
    std::exception_ptr failure;
};

void* runJob(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    try {
        job.work();
    } catch (...) {
        job.failure = std::current_exception();
    }
    return nullptr;
}

}  // namespace

void runOnLargeStack(const std::function<void()>& work) {
    const std::unique_ptr<ReservedStack> stack = reserveStack();
    Job job{work, nullptr};
    pthread_t worker;
    ThreadAttributes attributes;
    if (!stack || pthread_attr_setstack(&attributes.value, stack->usableBase(), stack->usableBytes()) != 0 ||
        pthread_create(&worker, &attributes.value, runJob, &job) != 0) {
        work();
        return;
    }
    pthread_join(worker, nullptr);
    if (job.failure) std::rethrow_exception(job.failure);
}
