#pragma once

#include <chrono>
#include <thread>

namespace bopwell::test
{

// Waits, in real time and for at most five seconds, for another thread to reach a state.
template <typename Condition>
bool eventually (Condition&& condition)
{
    for (int i = 0; i < 5000; ++i)
    {
        if (condition())
            return true;
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    return false;
}

} // namespace bopwell::test
