#include "driver/output_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace ecflux::driver {
namespace {

TEST(OutputQueue, RunsJobsInTheOrderPosted) {
  std::vector<int> done;
  {
    OutputQueue queue(2);
    for (int i = 0; i < 50; ++i) {
      queue.post([&done, i] {
        done.push_back(i);
        return base::Status{};
      });
    }
    queue.drain();
    EXPECT_EQ(done.size(), 50u);
    EXPECT_TRUE(queue.status().ok());
  }
  std::vector<int> in_order(50);
  std::iota(in_order.begin(), in_order.end(), 0);
  EXPECT_EQ(done, in_order);
}

TEST(OutputQueue, AFailedJobStopsEveryLaterOne) {
  std::vector<int> done;
  OutputQueue queue(8);
  for (int i = 0; i < 6; ++i) {
    queue.post([&done, i] {
      done.push_back(i);
      if (i == 2) return base::Status(base::IoFailure{base::IoCondition::write_error, 9, "/r"});
      return base::Status{};
    });
  }
  queue.drain();
  EXPECT_FALSE(queue.status().ok());
  queue.post([&done] {
    done.push_back(99);
    return base::Status{};
  });
  queue.drain();
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2}));
}

TEST(OutputQueue, PostWaitsForRoomAndTheEndRunsWhatIsLeft) {
  std::atomic<int> done{0};
  std::atomic<bool> release{false};
  {
    OutputQueue queue(1);
    queue.post([&] {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ++done;
      return base::Status{};
    });
    queue.post([&] {
      ++done;
      return base::Status{};
    });
    std::atomic<bool> third_posted{false};
    std::thread poster([&] {
      queue.post([&] {
        ++done;
        return base::Status{};
      });
      third_posted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(third_posted);  // the queue holds one waiting job
    release = true;
    poster.join();
  }
  EXPECT_EQ(done, 3);
}

}  // namespace
}  // namespace ecflux::driver
