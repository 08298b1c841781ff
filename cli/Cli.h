#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace bopwell::cli
{

// Runs one bopwell-cli command line (without the program name). Results go to out, problems to
// err; returns the exit status: 0 success, 1 the operation failed, 2 a usage error.
int run (const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace bopwell::cli
