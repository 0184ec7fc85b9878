// A small base for top-level and child windows: the static window procedure takes
// `this` from lpCreateParams at WM_NCCREATE, keeps it in GWLP_USERDATA and forwards every
// message to OnMessage. Form adds what the language switch needs of a loaded window.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vcm {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Hwnd() const noexcept { return m_hwnd; }

protected:
    // Everything the window is created from. The class is registered once per process: the
    // first window of a class decides its icon and background.
    struct CreateArgs {
        const wchar_t* className = nullptr;
        DWORD style = 0;
        DWORD exStyle = 0;
        const wchar_t* text = L"";
        int x = CW_USEDEFAULT;
        int y = CW_USEDEFAULT;
        int width = CW_USEDEFAULT;
        int height = CW_USEDEFAULT;
        HWND parent = nullptr;
        int id = 0;              // a child's control id
        HMENU menu = nullptr;    // a top-level window's menu bar
        HICON icon = nullptr;
        HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    };
    // Registers the class if needed and creates the window; throws an Error when either fails.
    void Create(const CreateArgs& args);

    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
    // Called at WM_NCDESTROY, after which the object no longer has a window.
    virtual void OnFinalDestroy() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

// A loaded top-level window of the program. Forms register themselves while their window
// exists, in creation order, so that the language switch can reach each one.
class Form : public Window {
public:
    ~Form() override;

    // The window's name as the program knows it ("frmMain").
    virtual std::wstring_view Name() const = 0;
    // Calls the public routine of that name without arguments; false when the form has none.
    virtual bool CallByName(std::wstring_view routine);
    // The window itself first, then every child control.
    std::vector<HWND> Controls() const;

    static const std::vector<Form*>& LoadedForms();

    // A message for this form or one of its controls, before it is translated and
    // dispatched: true when the form has handled it (its keyboard commands).
    virtual bool PreTranslateMessage(MSG& msg) { return false; }

protected:
    // Makes the form reachable by name; call after its window was created.
    void Register();
    void Unregister();
    // Routines callable by name; each form adds its own "<name>_Auto_Init".
    void AddRoutine(std::wstring name, std::function<void()> routine);

private:
    std::vector<std::pair<std::wstring, std::function<void()>>> m_routines;
};

// Offers a message to the loaded form whose window it is for; true when the form handled it.
bool PreTranslateForForm(MSG& msg);

// Pumps messages until WM_QUIT, giving the loaded form a message is for the first look at
// it; returns the exit code.
int RunMessageLoop();

}  // namespace vcm
