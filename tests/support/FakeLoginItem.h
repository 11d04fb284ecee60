#pragma once

#include "platform/LoginItem.h"

#include <optional>

namespace mintlux::test {

// An in-memory login item; set `failure` to make the next calls fail with that description.
class FakeLoginItem : public LoginItem {
public:
    void registerAtLogin() override { set(true, registerCalls); }
    void unregisterAtLogin() override { set(false, unregisterCalls); }
    bool isRegistered() const override { return registered; }

    bool registered = false;
    std::optional<QString> failure;
    int registerCalls = 0;
    int unregisterCalls = 0;

private:
    void set(bool on, int& calls) {
        ++calls;
        if (failure) {
            throw LoginItemError(*failure);
        }
        registered = on;
    }
};

}  // namespace mintlux::test
