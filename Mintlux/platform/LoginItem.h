#pragma once

#include <stdexcept>
#include <string>

#include <QString>

namespace mintlux {

// A failed registration; what() is a sentence the settings window can show as it is.
class LoginItemError : public std::runtime_error {
public:
    explicit LoginItemError(const QString& description)
        : std::runtime_error(description.toStdString()) {}
};

// Starting the application when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // Both throw LoginItemError; both succeed when there is nothing to do.
    virtual void registerAtLogin() = 0;
    virtual void unregisterAtLogin() = 0;
    virtual bool isRegistered() const = 0;
};

}  // namespace mintlux
