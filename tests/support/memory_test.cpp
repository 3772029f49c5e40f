#include "support/memory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>

namespace sondrel {
namespace {

TEST(MemoryDeathTest, HandlerWritesErmAndExitsWithOne) {
  EXPECT_EXIT(
      {
        InstallAllocationFailureHandler();
        std::new_handler handler = std::get_new_handler();
        if (handler != nullptr) handler();
      },
      ::testing::ExitedWithCode(1), "^ERM");
}

#if defined(__SANITIZE_ADDRESS__)
#define SONDREL_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SONDREL_SANITIZED_ALLOCATOR 1
#endif
#endif

#ifndef SONDREL_SANITIZED_ALLOCATOR
// The sanitizer's allocator reports huge requests itself, so this runs in plain builds only.
TEST(MemoryDeathTest, FailedAllocationEndsTheProcess) {
  EXPECT_EXIT(
      {
        InstallAllocationFailureHandler();
        volatile std::size_t huge = std::size_t{1} << 60;
        void* block = ::operator new(huge);
        ::operator delete(block);
      },
      ::testing::ExitedWithCode(1), "^ERM");
}
#endif

}  // namespace
}  // namespace sondrel
