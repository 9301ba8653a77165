// The descriptor owner closes exactly once whichever way ownership moves, and the scope guard
// runs on every path out of a scope unless dismissed.
#include "platform/filehandle.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using pz::FileHandle;
using pz::ScopeGuard;

bool IsOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(FileHandle, ClosesOnceWhereverOwnershipGoes) {
  int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    FileHandle a(fd);
    FileHandle b(std::move(a));
    EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move): the state a move leaves
    EXPECT_EQ(b.get(), fd);
    FileHandle c;
    c = std::move(b);
    EXPECT_TRUE(IsOpen(fd));
  }
  EXPECT_FALSE(IsOpen(fd));

  int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  FileHandle d(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int replaced = d.get();
  d.reset(other);  // the one held before is closed
  EXPECT_FALSE(IsOpen(replaced));
  const int released = d.release();
  EXPECT_FALSE(d.valid());
  EXPECT_TRUE(IsOpen(released));
  EXPECT_EQ(::close(released), 0);
  EXPECT_TRUE(d.Close());  // nothing held: nothing to report
}

TEST(ScopeGuard, RunsOnReturnAndThrowUnlessDismissed) {
  int runs = 0;
  const auto leave = [&](bool dismiss, bool fail) {
    ScopeGuard guard([&] { ++runs; });
    if (dismiss) guard.Dismiss();
    if (fail) throw std::runtime_error("fail");
  };
  leave(false, false);
  EXPECT_THROW(leave(false, true), std::runtime_error);
  leave(true, false);
  EXPECT_EQ(runs, 2);
}

}  // namespace
