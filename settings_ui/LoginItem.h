#pragma once
#include "base/VTError.h"

#include <optional>

// Whether the program starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    virtual std::optional<VTError> setEnabled(bool enabled) = 0;
};
