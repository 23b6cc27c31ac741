// A block a Linux host made with POSIX shared memory of its own.
#include "file_mapping.h"
#include "text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

TEST(SharedMemory, OpensAndLeavesAHostsPosixBlock) {
    const std::string name = "VAREL_TEST_HOST_BLOCK_" + std::to_string(getpid());
    const int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4096), 0);
    ASSERT_EQ(pwrite(fd, "\x5A", 1, 100), 1);
    SharedMemory block;
    EXPECT_FALSE(block.Open(Utf8ToUtf16(name))) << "not one of this process's own";
    ASSERT_TRUE(block.OpenShared(Utf8ToUtf16(name)));
    EXPECT_EQ(block.size(), 4096u);
    EXPECT_EQ(block.data()[100], 0x5A);
    block.Close();
    const int again = shm_open(("/" + name).c_str(), O_RDWR, 0);
    EXPECT_GE(again, 0) << "the host's block stays";
    close(again);
    close(fd);
    shm_unlink(("/" + name).c_str());
    EXPECT_FALSE(block.OpenShared(Utf8ToUtf16(name)));
}
