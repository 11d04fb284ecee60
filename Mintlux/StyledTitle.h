#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace mintlux {

// The status item's title: text, some of it coloured by what it means. The view picks the actual
// colours (the desktop's green and red); text outside every run keeps the default colour.
class StyledTitle {
public:
    enum class Role { positive, negative };

    struct Run {
        qsizetype start = 0;
        qsizetype length = 0;
        Role role = Role::positive;
        friend bool operator==(const Run&, const Run&) = default;
    };

    StyledTitle() = default;
    explicit StyledTitle(QString text) : m_text(std::move(text)) {}

    const QString& text() const noexcept { return m_text; }
    // In text order, never overlapping.
    const QList<Run>& runs() const noexcept { return m_runs; }

    void append(QStringView text);
    void append(QStringView text, Role role);

    friend bool operator==(const StyledTitle&, const StyledTitle&) = default;

private:
    QString m_text;
    QList<Run> m_runs;
};

}  // namespace mintlux
