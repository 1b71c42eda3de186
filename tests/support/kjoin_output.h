// Test support: what kjoin printed, read back.
#pragma once

#include <QJsonObject>
#include <string>

namespace kjtest {

// The JSON object kjoin printed on standard output (the last line that is one); empty when none.
QJsonObject JsonOf(const std::string& output);

}  // namespace kjtest
