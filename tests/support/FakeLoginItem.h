#pragma once

#include "platform/LoginItem.h"

#include <optional>

namespace mintlux::test {

// An in-memory login item; set `failure` to make the next calls fail with that description.
class FakeLoginItem : public LoginItem {
public:
    void registerAtLogin() override {
        ++registerCalls;
        if (failure) {
            throw LoginItemError(*failure);
        }
        registered = true;
    }
    void unregisterAtLogin() override {
        ++unregisterCalls;
        if (failure) {
            throw LoginItemError(*failure);
        }
        registered = false;
    }
    bool isRegistered() const override { return registered; }

    bool registered = false;
    std::optional<QString> failure;
    int registerCalls = 0;
    int unregisterCalls = 0;
};

}  // namespace mintlux::test
