// The running session loop allocates nothing per frame. This file replaces the global allocation
// functions of the unit-test executable with ones that count, but only while a test switches the
// count on, so every other test runs as before.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "session/session_loop.h"
#include "support/session_fake.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};

void* counted_allocation(std::size_t size) noexcept {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* counted_allocation_or_throw(std::size_t size) {
    void* memory = counted_allocation(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

}  // namespace

void* operator new(std::size_t size) {
    return counted_allocation_or_throw(size);
}
void* operator new[](std::size_t size) {
    return counted_allocation_or_throw(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted_allocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted_allocation(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

namespace kelvane {
namespace {

using test::FrameStep;

constexpr std::size_t warm_up_steps = 20;
constexpr std::size_t steady_steps = 5000;

// Counting covers the steady turns only: from the end of the warm-up to the end of the script.
void count_steady_turns(std::size_t step_index) {
    if (step_index == warm_up_steps) {
        allocations = 0;
        counting = true;
    } else if (step_index == warm_up_steps + steady_steps) {
        counting = false;
    }
}

TEST(SessionAllocation, CounterSeesAllocations) {
    allocations = 0;
    counting = true;
    std::vector<int>* volatile made = new std::vector<int>(100);
    counting = false;
    delete made;
    EXPECT_EQ(allocations, 2u);
}

TEST(SessionAllocation, RunningLoopAllocatesNothingPerFrame) {
    WarpChannel fields;
    test::FakeBackend fake{fields};
    // Frames, idle turns, cursor moves on and off the monitor, new pointer shapes and warp changes.
    for (std::size_t i = 0; i < warm_up_steps + steady_steps; ++i) {
        FrameStep step;
        step.result = i % 3 == 0 ? AcquireResult::Timeout : AcquireResult::NewFrame;
        if (i % 7 == 0) {
            step.move_cursor = CursorPoint{static_cast<std::int32_t>(i % 3000) - 500, 300};
        }
        if (i % 11 == 0) {
            step.cursor_fails = true;
        }
        step.new_shape = i % 97 == 0;
        if (i % 50 == 0) {
            step.publish = WarpParams{i % 2 == 0, true, 0.1f, -0.2f, static_cast<float>(i)};
        }
        fake.steps.push_back(step);
    }
    fake.on_step = count_steady_turns;

    run_session(fake, fields, SessionTarget{MonitorRect{100, 50, 1380, 1074}, false});

    ASSERT_FALSE(counting);
    EXPECT_EQ(allocations, 0u);
    // The steady turns did draw, upload shapes and apply warps.
    EXPECT_GT(fake.calls_of(test::FakeOp::draw).size(), steady_steps / 2);
    EXPECT_GT(fake.calls_of(test::FakeOp::set_cursor_image).size(), 40u);
    EXPECT_GT(fake.calls_of(test::FakeOp::update_warp).size(), 90u);
}

}  // namespace
}  // namespace kelvane
