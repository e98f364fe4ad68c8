#include "platform/fd.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace dpt {
namespace {

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnResetDestructionAndMoveAssignment) {
    const int a = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int b = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    {
        UniqueFd fd(a);
        UniqueFd other(b);
        fd = std::move(other);  // closes a, takes b
        EXPECT_FALSE(is_open(a));
        EXPECT_EQ(fd.get(), b);
        EXPECT_FALSE(other);
    }
    EXPECT_FALSE(is_open(b));

    const int c = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    UniqueFd fd(c);
    EXPECT_EQ(fd.release(), c);
    EXPECT_FALSE(fd);
    fd.reset();  // nothing held: closes nothing
    EXPECT_TRUE(is_open(c));
    fd.reset(c);
    fd.reset();
    EXPECT_FALSE(is_open(c));
}

}  // namespace
}  // namespace dpt
