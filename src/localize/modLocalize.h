// The string catalogue and the language state: looks up numbered texts (active language
// library first, then the built-in table), finds and loads language libraries beside the
// executable, names languages, and gives controls the font their language needs.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

namespace vcm {

class Form;

// The active language library, loaded as a data file; nullptr = none (built-in texts).
extern HMODULE gLangLibrary;
// The current Windows language identifier; 0 = not chosen yet (the user's default is
// taken on the next InitalizeLanguages).
extern long gCurrentLangID;
// Abbreviations of the language libraries the last InitalizeLanguages found, in listing
// order; one empty element when it found none.
extern std::vector<std::wstring> gLanguageList;

// The text of catalogue string `id`: the active library's text when it has a non-empty one
// (at most 1199 characters), else the built-in text. An id missing everywhere is reported
// in a message box ("error in myLoadResString: " + description) and gives empty text.
std::wstring myLoadResString(int id);

// Chooses the current language (the user's default when none is chosen yet), releases the
// previous library and loads the one for the current language, lists the language
// libraries in the executable's folder into gLanguageList and applies the language's
// font to every loaded form. Failures are reported ("Error in InitalizeLanguages: ")
// and the routine goes on with its next step.
void InitalizeLanguages();
// The same on a given folder and executable base name.
void InitalizeLanguagesIn(const std::wstring& folder, const std::wstring& baseName);

// "DEU" for 1031 and so on; "ENU" for 0; "ERROR" for identifiers without an abbreviation.
std::wstring GetLangAbbreviation(short id);
// The identifier of an abbreviation, matched with case; 1033 for any other text.
short GetLangIDFromAbbreviation(std::wstring_view abbreviation);
// The platform's display name of a language (through the ANSI code page); "(error)" when
// the platform knows no name for it.
std::wstring GetLanguageName(long id);
std::wstring GetLanguageNameFromAbbreviation(std::wstring_view abbreviation);

// SetControlFont on every control of the form; a control that fails is passed over.
void ApplyLanguageFont(Form& form);
// Gives the control a font made from its current one with the character set and face the
// current language needs. Fonts are created once per run and shared between controls.
void SetControlFont(HWND control);

}  // namespace vcm
