// The About window: the program's version, the maker's lines and logos, and the place
// where the user picks the interface language, which switches every loaded window at once.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

class frmAbout final : public Form {
public:
    // Shows the one About window modally over `owner`: the owner takes no input until the
    // window is hidden again (OK or the close box), then it is enabled and activated.
    static void ShowModal(HWND owner);
    // The one About window, created and loaded on first use, not shown.
    static frmAbout& Shared();
    // Unloads the window; the next use loads it again, with a new language menu.
    static void Unload();
    // Where the language libraries are looked for. An empty folder (the default) means
    // beside the executable, under the executable's own base name.
    static void SetLanguageFolder(std::wstring folder, std::wstring baseName);

    ~frmAbout() override;

    std::wstring_view Name() const override { return L"frmAbout"; }

    // (Re)applies the catalogue captions; not the version text nor the language items.
    void frmAbout_Auto_Init();
    void cmdOK_Click();
    // Pops the language menu up at the pointer.
    void lblChangeLanguage_Click();
    // The language switch for the language item at `index`: hourglass, the item's language
    // becomes current, the libraries are loaded anew and every loaded form gets its font,
    // its captions and a repaint. A failing step is passed over silently; the pointer is
    // always restored.
    void mnuLanguageList_Click(int index);

    // A control by its name ("lblVersion", "cmdOK", "picVeltoLogo", ...); nullptr for a
    // name the window does not have.
    HWND Control(std::wstring_view name) const;
    // The popup menu mnuSelectLanguage, its own caption, and its language items.
    HMENU mnuSelectLanguage() const noexcept { return m_mnuSelectLanguage; }
    std::wstring SelectLanguageCaption() const;
    int LanguageCount() const;
    std::wstring LanguageCaption(int index) const;
    // The item's tag: its language identifier as text (" 1031").
    std::wstring LanguageTag(int index) const;
    // 11 (hourglass) while a language switch runs, else 0 (default).
    int MousePointer() const noexcept { return m_mousePointer; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalDestroy() override;

private:
    frmAbout();

    void Load();
    void CreateControls();
    void Form_Load();
    void RunModal(HWND owner);
    void Hide();
    void SetMousePointer(int pointer);
    void InitializeLanguages();

    void AddLanguageItem();
    void SetLanguageCaption(int index, const std::wstring& caption);
    void SetLanguageTag(int index, std::wstring tag);

    LRESULT OnSetCursor(HWND target, UINT hitTest);
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    void DrawLogo(const DRAWITEMSTRUCT& item) const;

    std::vector<std::pair<std::wstring_view, HWND>> m_controls;
    UniqueHMenu m_menuHolder;  // holds mnuSelectLanguage as its only submenu, never shown as a bar
    HMENU m_mnuSelectLanguage = nullptr;
    std::vector<std::wstring> m_languageTags;
    UniqueHFont m_font;
    UniqueHFont m_boldFont;
    UniqueHFont m_linkFont;
    HWND m_owner = nullptr;
    int m_mousePointer = 0;
};

}  // namespace vcm
