#include "IcuBridge.h"

namespace mintlux::IcuBridge {

icu::Locale locale(const QString& id) {
    const QByteArray name = id.toUtf8();
    if (id.contains(QLatin1Char('-'))) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale tagged = icu::Locale::forLanguageTag(name.constData(), status);
        if (U_SUCCESS(status)) {
            return tagged;
        }
    }
    return icu::Locale(name.constData());
}

icu::UnicodeString toIcu(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

}  // namespace mintlux::IcuBridge
