// The texts of the edit object's result codes: the one place they are spelled, for the edit's own
// error text and for the joiner's longer reasons that begin with them.
#pragma once

#include <string>

#include "engines/realmedia/rmedit.h"

namespace rm {

// The description of a code this module uses; empty for others.
const char* DescribeEditCode(HRESULT code);

// Leaves `account` (the longer reason, naming the file) in *text, when given, and returns `code`.
HRESULT Fail(std::string* text, HRESULT code, const std::string& account);

// The name the user knows an input by in those reasons: the path's last part.
std::string BaseName(const std::string& path);

// The reason an output named `outName` could not be written, `error` being the errno.
std::string CannotWriteText(const std::string& outName, int error);

}  // namespace rm
