// GoogleTest's Notification for the win32-thread MinGW, whose C++ library has no std::mutex or
// std::condition_variable. Only GoogleTest's own threading helpers use it; the unit tests here run
// on one thread. Force-included (with GTEST_HAS_NOTIFICATION_=1) into GoogleTest and its users
// in the win32 tree; it needs no <windows.h>, so the tests see no Windows macros they did not ask
// for.
#ifndef WQDUPDATE_CMAKE_GTEST_MINGW_NOTIFICATION_H
#define WQDUPDATE_CMAKE_GTEST_MINGW_NOTIFICATION_H
#ifdef __cplusplus
#include <atomic>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing

#endif  // __cplusplus
#endif  // WQDUPDATE_CMAKE_GTEST_MINGW_NOTIFICATION_H
