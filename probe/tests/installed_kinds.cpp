// The probe reads each file with the reader its kind's row names: these tests run with the
// program's table of kinds in place, as the programs do.
#include <gtest/gtest.h>

#include "kinds/kinds.h"

namespace {

class InstalledKinds : public ::testing::Environment {
public:
    void SetUp() override { InstallKinds(); }
};

[[maybe_unused]] ::testing::Environment* const kInstalledKinds =
    ::testing::AddGlobalTestEnvironment(new InstalledKinds);

}  // namespace
