// GoogleTest's own Notification waits on a std::mutex, which MinGW's win32
// thread model (that of the shipped program) does not have. Forced into
// GoogleTest and the tests when the toolchain lacks std::mutex, in its place:
// a flag that the waiting thread polls. GoogleTest uses it only in its
// thread helper (ThreadWithParam), which these tests do not use; the program
// itself is built without it.
#ifndef TAVRIN_TESTS_SUPPORT_WIN32_GTEST_NOTIFICATION_H_
#define TAVRIN_TESTS_SUPPORT_WIN32_GTEST_NOTIFICATION_H_

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) Sleep(1);
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

#endif  // TAVRIN_TESTS_SUPPORT_WIN32_GTEST_NOTIFICATION_H_
