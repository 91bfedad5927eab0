// The messages of code under test, for the tests that check them or keep them quiet.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

// Runs f() with standard output and error captured; what each received.
template <typename F>
std::pair<std::string, std::string> Captured(F f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}
