// Test support: a copy join's seams judged in a test, each judge's finding its own expectation
// so that a failure names the reader that noticed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/seam_judge.h"

namespace kjtest {

inline void ExpectSeamsUnnoticed(const std::vector<JoinedInput>& inputs,
                                 const std::string& output) {
    const SeamJudgement j = JudgeCopyJoin(inputs, output);
    EXPECT_EQ(j.decodeAdded, "");
    EXPECT_EQ(j.packetsLost, "");
    EXPECT_EQ(j.seams, "");
    EXPECT_EQ(j.seekErrors, "");
    EXPECT_EQ(j.mpvAdded, "");
    EXPECT_EQ(j.gstFailure, "");
}

}  // namespace kjtest
