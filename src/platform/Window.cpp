#include "platform/Window.h"

#include <algorithm>

#include "platform/ErrorCodes.h"

namespace vcm {

namespace {
std::vector<Form*>& Forms()
{
    static std::vector<Form*> forms;
    return forms;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
    return TRUE;
}
}  // namespace

Window::~Window()
{
    if (m_hwnd) {
        // The object goes first: the window must not call back into it while it is destroyed.
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

void Window::Create(const CreateArgs& args)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    if (!GetClassInfoExW(instance, args.className, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Window::Procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = args.background;
        wc.hIcon = args.icon;
        wc.hIconSm = args.icon;
        wc.lpszClassName = args.className;
        if (!RegisterClassExW(&wc))
            ThrowLastError(L"RegisterClassExW");
    }
    if (!CreateWindowExW(args.exStyle, args.className, args.text, args.style, args.x, args.y, args.width, args.height,
                         args.parent, args.menu ? args.menu : reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)),
                         instance, this))
        ThrowLastError(L"CreateWindowExW");
}

LRESULT Window::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return Default(msg, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        LRESULT result = self->OnMessage(msg, wParam, lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        self->OnFinalDestroy();
        return result;
    }
    // No exception may cross into the system's code: windows report their own errors
    // where the behaviour asks for it; anything left goes to the debugger output.
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (...) {
        DebugReport(CurrentError());
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

Form::~Form() { Unregister(); }

bool Form::CallByName(std::wstring_view routine)
{
    for (auto& [name, call] : m_routines) {
        if (name == routine) {
            call();
            return true;
        }
    }
    return false;
}

std::vector<HWND> Form::Controls() const
{
    std::vector<HWND> controls;
    if (Hwnd()) {
        controls.push_back(Hwnd());
        EnumChildWindows(Hwnd(), &CollectChild, reinterpret_cast<LPARAM>(&controls));
    }
    return controls;
}

const std::vector<Form*>& Form::LoadedForms() { return Forms(); }

void Form::Register()
{
    auto& forms = Forms();
    if (std::find(forms.begin(), forms.end(), this) == forms.end())
        forms.push_back(this);
}

void Form::Unregister()
{
    auto& forms = Forms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void Form::AddRoutine(std::wstring name, std::function<void()> routine)
{
    m_routines.emplace_back(std::move(name), std::move(routine));
}

bool PreTranslateForForm(MSG& msg)
{
    const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (!root)
        return false;
    for (Form* form : Forms()) {
        if (form->Hwnd() == root)
            return form->PreTranslateMessage(msg);
    }
    return false;
}

int RunMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslateForForm(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace vcm
