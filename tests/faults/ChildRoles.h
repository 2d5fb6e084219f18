#pragma once
// Roles a fault test's program plays in a child process of its own (one to
// be killed while it holds something): a test file registers a role under
// an option, and main() plays it instead of running the tests when the
// program is started with that option first.
#include <map>
#include <string>

namespace faults {

using ChildRole = int (*)(int argc, char** argv);

inline std::map<std::string, ChildRole>& childRoles()
{
    static std::map<std::string, ChildRole> roles;
    return roles;
}

struct RegisterChildRole {
    RegisterChildRole(const char* option, ChildRole role) { childRoles()[option] = role; }
};

} // namespace faults
