#pragma once
// Owners for the system handles the program creates. Each kind keeps a count
// of live owned handles in every build, so a test can prove that long runs
// give back everything they took (the system's own counters are not
// available everywhere the program runs).
#include <atomic>
#include <utility>

namespace win {

enum class HandleKind { Key, Font, Bitmap, Region, Menu, DC, Socket, Count };

namespace detail {
std::atomic<int>& LiveCounter(HandleKind kind);
}

// Number of handles of a kind that owners currently hold.
inline int LiveHandles(HandleKind kind) { return detail::LiveCounter(kind).load(); }

template <typename H, HandleKind Kind, auto Close, H Invalid = H{}>
class Owned {
 public:
  Owned() = default;
  explicit Owned(H handle) { reset(handle); }
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : m_handle(std::exchange(other.m_handle, Invalid)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      m_handle = std::exchange(other.m_handle, Invalid);
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  H get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Invalid; }

  // Closes what is held and takes the new handle.
  void reset(H handle = Invalid) {
    if (m_handle != Invalid) {
      Close(m_handle);
      --detail::LiveCounter(Kind);
    }
    m_handle = handle;
    if (m_handle != Invalid) ++detail::LiveCounter(Kind);
  }
  // Gives the handle away (to the system, for example a window region).
  H release() {
    if (m_handle != Invalid) --detail::LiveCounter(Kind);
    return std::exchange(m_handle, Invalid);
  }

 private:
  H m_handle = Invalid;
};

}  // namespace win
