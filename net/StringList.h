#pragma once

#include "net/GrowableArray.h"
#include "net/String.h"

namespace kestrum {

using StringList = GrowableArray<String>;

struct StringPair {
    String name;
    String value;
};

// Ordered name/value pairs; names may repeat and compare with ASCII case folding, values are
// kept as given.
class StringMap : public GrowableArray<StringPair> {
public:
    StringMap() : GrowableArray<StringPair>(8, 10) {}

    // Skips an empty name (returns -1); otherwise appends and returns the index.
    int add(const String& name, const String& value);
    void append(const StringPair& pair) { GrowableArray<StringPair>::append(pair); }
    // First pair at or after start whose name matches ignoring ASCII case; -1 when none.
    int find(const String& name, int start = 0) const;
    // The matching pair; a missing name is appended with an empty value.
    StringPair& entry(const String& name);
    bool remove(const String& name);
};

// Splits on every delimiter byte; an empty last token is dropped.
void split(const String& text, char delimiter, bool trim, StringList& out);
// "name=value" pieces joined by the separator; pieces with an empty name are skipped.
void parseParameters(const String& text, char separator, char assignment, bool trim,
                     StringMap& out);
// The value of "name" in a header value of the form 'token; key=value; key=value'.
String getParameter(const String& text, const String& name);

} // namespace kestrum
