#pragma once

#include "json/DecodingError.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QByteArray>

#include <gtest/gtest.h>

namespace mintlux {

inline void PrintTo(DecodingError::Kind kind, std::ostream* os) {
    constexpr const char* kNames[] = {"keyNotFound", "valueNotFound", "typeMismatch",
                                      "dataCorrupted"};
    *os << kNames[static_cast<int>(kind)];
}

namespace test {

// Runs `decode`, which must fail with a DecodingError of `kind`, at `path` when one is given;
// returns its description.
template <class Decode>
std::string expectDecodingFailure(Decode&& decode, DecodingError::Kind kind,
                                  const std::optional<std::string>& path = std::nullopt) {
    try {
        decode();
        ADD_FAILURE() << "decoded, should have failed";
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.kind(), kind) << e.what();
        if (path) {
            EXPECT_EQ(e.codingPath(), *path) << e.what();
        }
        return e.what();
    }
    return {};
}

struct FailingJson {
    std::string json;
    DecodingError::Kind kind;
    std::optional<std::string> path = std::nullopt;
};

// Each document must fail T::fromJson as its row says.
template <class T>
void expectFromJsonFailures(const std::vector<FailingJson>& cases) {
    for (const FailingJson& c : cases) {
        SCOPED_TRACE(c.json);
        expectDecodingFailure([&] { T::fromJson(QByteArray::fromStdString(c.json)); }, c.kind,
                              c.path);
    }
}

}  // namespace test
}  // namespace mintlux
