#pragma once

#include "json/DecodingError.h"
#include "persistence/PreferenceValue.h"

#include <map>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace mintlux {

using PreferenceMap = std::map<QString, PreferenceValue>;

// The preferences file: one JSON object, a member per key, one member per line so that a person
// can edit it. Text is a JSON string, integers and other numbers JSON numbers, booleans JSON
// booleans, byte data the object {"base64": "..."}. A null member is an absent key.
namespace PreferencesFormat {

// A member the store cannot use (an array, an object that is no data value, a number past the
// decimal's range, a repeated key) is kept as UnusableJson and encoded back as it was written.
// Throws DecodingError only for malformed JSON or a root that is not an object. Empty input (or
// only blanks) is an empty store.
PreferenceMap decode(QByteArrayView bytes);

// Keys in sorted order, so that saving the same values gives the same bytes.
QByteArray encode(const PreferenceMap& values);

}  // namespace PreferencesFormat

}  // namespace mintlux
