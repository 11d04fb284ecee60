#include "net/HttpExchange.h"

#include <algorithm>

namespace mintlux {

QByteArray headerValue(const HttpHeaders& headers, QByteArrayView name) {
    for (const auto& [key, value] : headers) {
        if (name.compare(key, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) {
        return name.compare(h.first, Qt::CaseInsensitive) == 0;
    });
}

void HttpRequest::setHeader(const QByteArray& name, const QByteArray& value) {
    headers.removeIf(
        [&](const auto& h) { return name.compare(h.first, Qt::CaseInsensitive) == 0; });
    headers.emplace_back(name, value);
}

void HttpExchange::setHead(int status, HttpHeaders headers) {
    m_status = status;
    m_headers = std::move(headers);
    emit headReady();
}

void HttpExchange::deliver(QByteArray bytes) {
    if (bytes.isEmpty() || m_finished) {
        return;
    }
    m_body += bytes;
    emit readyRead();
}

void HttpExchange::complete() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    emit finished();
}

void HttpExchange::fail(NetworkFault fault, const QString& text) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_fault = fault;
    m_faultText = text;
    emit finished();
}

}  // namespace mintlux
