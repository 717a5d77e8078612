#pragma once
// UniqueFd: the one owner of a file descriptor. Closes it when it goes;
// Close() closes now and says whether the close succeeded (a failed close
// can lose written data, so writers check it).

#include <unistd.h>

#include <utility>

namespace os {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    explicit operator bool() const { return Valid(); }

    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }

    // Closes now; true when there was nothing to close or the close succeeded.
    bool Close() {
        const int fd = Release();
        return fd < 0 || ::close(fd) == 0;
    }

    // Closes the current descriptor (ignoring the result) and takes `fd`.
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }

  private:
    int m_fd = -1;
};

}  // namespace os
