#pragma once

#include <optional>
#include <stdexcept>

#include <QByteArrayView>
#include <QString>

namespace mintlux {

// The pricing service refused a request and said why, in its own error document
// ({"error": "..."}) under an error status. Telling this from an unreadable answer lets the user
// see the service's reason ("no exchange rate for INR yet") instead of a hint at a wrong address.
class ServiceError : public std::runtime_error {
public:
    ServiceError(int status, QString message);

    // The error an answer carries, when it is an error status with the service's error document.
    static std::optional<ServiceError> fromAnswer(int status, QByteArrayView body);

    int status() const noexcept { return m_status; }
    // One line, at most kMaxMessageLength characters, no markup characters: it goes into labels
    // and tooltips that may read markup.
    const QString& message() const noexcept { return m_message; }

    static constexpr qsizetype kMaxMessageLength = 160;

private:
    int m_status;
    QString m_message;
};

}  // namespace mintlux
