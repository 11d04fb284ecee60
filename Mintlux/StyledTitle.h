#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace mintlux {

// The status item's title: plain text plus foreground-colour runs, coloured by role so that
// each surface picks its own shade of green and red. Text outside every run keeps the default
// colour.
struct StyledTitle {
    enum class Role { positive, negative };

    struct Run {
        qsizetype start = 0;
        qsizetype length = 0;
        Role role = Role::positive;

        friend bool operator==(const Run&, const Run&) = default;
    };

    QString text;
    QList<Run> runs;  // in text order, never overlapping

    void append(QStringView more) { text += more; }
    void append(QStringView more, Role role) {
        if (more.isEmpty()) {
            return;
        }
        runs.append(Run{text.size(), more.size(), role});
        text += more;
    }

    friend bool operator==(const StyledTitle&, const StyledTitle&) = default;
};

}  // namespace mintlux
