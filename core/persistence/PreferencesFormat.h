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

// Throws DecodingError for anything else: malformed JSON, a root that is not an object, a
// repeated key, an array, an object that is not a well-formed data value. Empty input (or only
// blanks) is an empty store.
PreferenceMap decode(QByteArrayView bytes);

// Keys in sorted order, so that saving the same values gives the same bytes.
QByteArray encode(const PreferenceMap& values);

}  // namespace PreferencesFormat

}  // namespace mintlux
