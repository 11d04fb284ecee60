#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace mintlux::test {

// A body recorded from (or shaped exactly like) a real upstream answer, from tests/server/data.
inline QByteArray recorded(const char* name) {
    QFile file(QStringLiteral(MINTLUX_UPSTREAM_DATA "/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no recorded body " << name;
        return {};
    }
    return file.readAll();
}

}  // namespace mintlux::test
