// InOrder: work spread over threads, results taken in order on the calling
// thread; the first error stops the work and comes back to the caller.
#include "convert/in_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessaly::convert {
namespace {

TEST(InOrder, TakesEveryResultInOrderOnTheCallingThreadAndStopsAtTheFirstError) {
  struct Case {
    std::size_t count;
    std::optional<std::size_t> makeFails;  // make raises for this i
    std::optional<std::size_t> takeFails;  // take raises for this i
  };
  const Case cases[] = {
      {0, {}, {}}, {1, {}, {}}, {1000, {}, {}}, {1000, {500}, {}}, {1000, {}, {10}}, {1000, {3}, {900}},
  };
  for (const Case& c : cases) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::size_t> taken;
    std::string error;
    try {
      InOrder(
          c.count,
          [&](std::size_t i) {
            if (i == c.makeFails) throw std::runtime_error("make " + std::to_string(i));
            return std::to_string(i * i);
          },
          [&](std::size_t i, std::string result) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_EQ(result, std::to_string(i * i));
            if (i == c.takeFails) throw std::runtime_error("take " + std::to_string(i));
            taken.push_back(i);
          });
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    const std::size_t stop = std::min({c.count, c.makeFails.value_or(c.count), c.takeFails.value_or(c.count)});
    std::vector<std::size_t> expected(stop);
    for (std::size_t i = 0; i < stop; ++i) expected[i] = i;
    EXPECT_EQ(taken, expected) << c.count;
    const std::string expectedError = stop == c.count ? ""
                                      : stop == c.makeFails ? "make " + std::to_string(stop)
                                                            : "take " + std::to_string(stop);
    EXPECT_EQ(error, expectedError) << c.count;
  }
}

}  // namespace
}  // namespace tessaly::convert
