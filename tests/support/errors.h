#pragma once

#include "platform/apperror.h"

#include <functional>
#include <optional>

// The error a call throws, or nothing when it succeeds.
inline std::optional<AppError> errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &error) {
        return error;
    }
    return std::nullopt;
}

// The error number a call throws, or 0 when it succeeds.
inline int errorNumberOf(const std::function<void()> &call)
{
    const std::optional<AppError> error = errorOf(call);
    return error ? error->number() : 0;
}

// The description of the error a call throws, or an empty text when it succeeds.
inline QString errorTextOf(const std::function<void()> &call)
{
    const std::optional<AppError> error = errorOf(call);
    return error ? error->description() : QString();
}
