#pragma once
// A value that several threads read and replace whole: configuration set at start-up (a service's
// host) or a function the window installs. Get returns a copy, so a reader never holds the lock
// while it uses the value.

#include <mutex>
#include <utility>

namespace velk {

template <typename T> class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : m_value(std::move(value)) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    T Get() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    void Set(T value) {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};

} // namespace velk
