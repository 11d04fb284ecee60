#include "pricing/ServiceError.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace mintlux {

namespace {

// The message comes from whatever answers at the configured address, so it is shown only as
// plain, single-line text of bounded length.
QString sanitised(const QString& text) {
    QString out;
    out.reserve(std::min(text.size(), ServiceError::kMaxMessageLength + 1));
    for (const QChar c : text.simplified()) {
        if (out.size() == ServiceError::kMaxMessageLength) {
            out.back() = QChar(0x2026);
            break;
        }
        switch (c.unicode()) {
            case u'<':
                out += QChar(0x2039);
                break;
            case u'>':
                out += QChar(0x203A);
                break;
            case u'&':
                out += QChar(0xFF06);
                break;
            default:
                if (c.isPrint()) {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace

ServiceError::ServiceError(int status, QString message)
    : std::runtime_error("HTTP " + std::to_string(status) + ": " + message.toStdString()),
      m_status(status),
      m_message(std::move(message)) {}

std::optional<ServiceError> ServiceError::fromAnswer(int status, QByteArrayView body) {
    if (status < 400) {
        return std::nullopt;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(body.toByteArray());
    const QJsonValue error = doc.object().value(QLatin1String("error"));
    if (!error.isString()) {
        return std::nullopt;
    }
    QString message = sanitised(error.toString());
    if (message.isEmpty()) {
        return std::nullopt;
    }
    return ServiceError(status, std::move(message));
}

}  // namespace mintlux
