#include "StyledTitle.h"

namespace mintlux {

void StyledTitle::append(QStringView text) {
    m_text += text;
}

void StyledTitle::append(QStringView text, Role role) {
    if (text.isEmpty()) {
        return;
    }
    m_runs.append(Run{m_text.size(), text.size(), role});
    m_text += text;
}

}  // namespace mintlux
