#pragma once

#include <QList>
#include <QString>

namespace mintlux {

// A status-item title: plain text plus foreground-colour runs, coloured by role so that each
// surface picks its own shade of green and red.
struct StyledTitle {
    enum class Role { positive, negative };

    struct Run {
        qsizetype start;
        qsizetype length;
        Role role;

        bool operator==(const Run&) const = default;
    };

    QString text;
    QList<Run> runs;

    bool operator==(const StyledTitle&) const = default;
};

}  // namespace mintlux
