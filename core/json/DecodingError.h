#pragma once

#include <stdexcept>
#include <string>

namespace mintlux {

// The one error every JSON decode in the system raises. what() is the description that reaches
// the user or the log; the coding path says where in the document it happened.
class DecodingError : public std::runtime_error {
public:
    enum class Kind {
        keyNotFound,    // a required key is missing
        valueNotFound,  // a required value is null
        typeMismatch,   // a value has the wrong JSON type
        dataCorrupted,  // malformed JSON, or a value of the right type that is not acceptable
    };

    DecodingError(Kind kind, std::string codingPath, const std::string& description)
        : std::runtime_error(description), m_kind(kind), m_codingPath(std::move(codingPath)) {}

    Kind kind() const noexcept { return m_kind; }
    // Dotted keys and [index] steps from the document root, e.g. "prices.XAU.value"; empty at
    // the root.
    const std::string& codingPath() const noexcept { return m_codingPath; }

private:
    Kind m_kind;
    std::string m_codingPath;
};

}  // namespace mintlux
