// The converter's text helpers. Both compare after lower-casing A..Z only, keep nothing
// between calls, change none of their arguments and return a new text. An empty `search`
// leaves a non-empty source unchanged.
#pragma once

#include "platform/text.h"

// `source` with every occurrence of `search` replaced, left to right; the search resumes right
// after each inserted replacement, which is never searched again. Empty source: empty result.
string_descriptor replace_all(const string_descriptor& source, const string_descriptor& search,
                              const string_descriptor& replacement);

// `source` with occurrences of `search` deleted, searching again from the start after each,
// until none is left. Empty source: empty result.
string_descriptor remove_all(const string_descriptor& source, const string_descriptor& search);
