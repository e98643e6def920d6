#pragma once

#include "platform/apperror.h"

#include <functional>

// The error number a call throws, or 0 when it succeeds.
inline int errorNumberOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &error) {
        return error.number();
    }
    return 0;
}
