#pragma once

#include <optional>
#include <vector>

#include <grp.h>
#include <sys/types.h>
#include <unistd.h>

// A group a file of this process can be given other than the one its new
// files get: any as the administrator, else one of the account's other groups.
inline std::optional<gid_t> otherSettableGroup()
{
    if (::geteuid() == 0)
        return gid_t(4321);
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        for (gid_t g : groups)
            if (g != ::getegid())
                return g;
    return std::nullopt;
}
