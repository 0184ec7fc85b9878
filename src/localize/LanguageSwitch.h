// Switching the interface language of every loaded window at once, and reading the
// language identifier a language menu item carries as its tag.
#pragma once
#include <string_view>

#include "platform/StepRunner.h"

namespace vcm {

// The number at the start of a tag, read the way the tags are written: blanks anywhere are
// ignored, an optional sign, digits, an optional fraction; rounded to the nearest integer
// (halves to even). No number at all reads as 0; one outside a long is an overflow.
long LanguageTagValue(std::wstring_view tag);

// Gives every loaded form the current language's font, its captions (the form's
// "<Name>_Auto_Init" routine) and a repaint of its controls, each through `step`. A form
// that a caption routine unloads is passed over.
void ApplyLanguageToLoadedForms(StepRunner& step);

}  // namespace vcm
