#pragma once

#include <QString>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace mintlux::IcuBridge {

// Locale ids arrive as BCP 47 tags ("en-US") or as ICU ids ("en_US_POSIX").
icu::Locale locale(const QString& id);

icu::UnicodeString toIcu(const QString& text);
QString fromIcu(const icu::UnicodeString& text);

}  // namespace mintlux::IcuBridge
