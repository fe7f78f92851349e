// tests/support/dkTestThreads.hpp
#pragma once
#include <thread>
#include <vector>

namespace dktest {

// Runs f(0) ... f(n - 1) on n threads started together, and returns when every one has ended.
template <class F>
void onThreads(int n, F f) {
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t) threads.emplace_back(f, t);
    for (std::thread& th : threads) th.join();
}

}  // namespace dktest
