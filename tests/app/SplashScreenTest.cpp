// The wait window under the test display.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "WindowTesting.h"
#include "app/frmSplashScreen.h"
#include "platform/Twips.h"

namespace vcm {

namespace {
RECT ChildRect(HWND child, HWND relativeTo)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, relativeTo, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring Text(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool IsLoaded(const Form& form)
{
    const auto& forms = Form::LoadedForms();
    return std::count(forms.begin(), forms.end(), &form) == 1;
}
}  // namespace

TEST(frmSplashScreen, CreatedOnceWithItsDesignLayout)
{
    frmSplashScreen splash;
    EXPECT_FALSE(splash.IsCreated());
    splash.Create(L"Gathering credential information, please wait...");
    ASSERT_TRUE(splash.IsCreated());
    const HWND first = splash.Hwnd();
    splash.Create(L"another text");  // later uses keep the window and its text
    EXPECT_EQ(splash.Hwnd(), first);
    EXPECT_EQ(Text(splash.Label1()), L"Gathering credential information, please wait...");
    EXPECT_TRUE(IsLoaded(splash));
    EXPECT_FALSE(IsWindowVisible(splash.Hwnd())) << "shown only when asked";

    const UINT dpi = WindowDpi(splash.Hwnd());
    RECT client = {}, outer = {};
    GetClientRect(splash.Hwnd(), &client);
    GetWindowRect(splash.Hwnd(), &outer);
    EXPECT_EQ(client.right, TwipsToPixels(5325, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(900, dpi));
    EXPECT_EQ(outer.right - outer.left, client.right) << "no border";
    EXPECT_EQ(outer.bottom - outer.top, client.bottom) << "no title bar";
    EXPECT_EQ(splash.WidthTwips(), PixelsToTwips(client.right, dpi));
    EXPECT_NEAR(splash.WidthTwips(), 5325, 1440 / static_cast<int>(dpi));

    const RECT frame = ChildRect(splash.Frame1(), splash.Hwnd());
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right, client.right);
    EXPECT_EQ(frame.bottom, client.bottom);
    EXPECT_EQ(Text(splash.Frame1()), L"") << "the frame has no caption";
    const RECT label = ChildRect(splash.Label1(), splash.Hwnd());
    EXPECT_EQ(label.left, TwipsToPixels(720, dpi));
    EXPECT_EQ(label.top, TwipsToPixels(420, dpi));
    EXPECT_EQ(label.right, TwipsToPixels(720 + 3795, dpi));
    EXPECT_EQ(label.bottom, TwipsToPixels(420 + 195, dpi));

    // The whole message fits the label's designed width, in the font the label uses.
    HDC dc = GetDC(splash.Label1());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(splash.Label1(), WM_GETFONT, 0, 0)));
    const std::wstring message = Text(splash.Label1());
    SIZE extent = {};
    GetTextExtentPoint32W(dc, message.c_str(), static_cast<int>(message.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(splash.Label1(), dc);
    EXPECT_LE(extent.cx, label.right - label.left);
    EXPECT_LE(extent.cy, label.bottom - label.top + 2) << "nor is it taller than the label";
}

TEST(frmSplashScreen, ShowsWithoutOwnerOrActivationAndHidesWithoutDestroying)
{
    HWND main = test::CreateTestParent(L"Main", 500, 300);
    ASSERT_TRUE(main);
    SetActiveWindow(main);
    test::Pump();

    frmSplashScreen splash;
    splash.Create(L"Please wait");
    const UINT dpi = WindowDpi(splash.Hwnd());
    // Fractions of twips are allowed; they round to the nearest pixel.
    splash.MoveTwips(1440.0 + 7.4, 2880.0);
    RECT r = {};
    GetWindowRect(splash.Hwnd(), &r);
    EXPECT_EQ(r.left, TwipsToPixels(1447, dpi));
    EXPECT_EQ(r.top, TwipsToPixels(2880, dpi));

    for (int run = 0; run < 2; ++run) {
        splash.ShowAndPaint();
        EXPECT_TRUE(IsWindowVisible(splash.Hwnd())) << "run " << run;
        EXPECT_EQ(GetWindow(splash.Hwnd(), GW_OWNER), nullptr);
        EXPECT_NE(GetActiveWindow(), splash.Hwnd()) << "the main window keeps the focus";
        EXPECT_FALSE(GetUpdateRect(splash.Label1(), nullptr, FALSE)) << "painted at once, label included";
        splash.Hide();
        EXPECT_FALSE(IsWindowVisible(splash.Hwnd()));
        EXPECT_TRUE(IsWindow(splash.Hwnd())) << "hidden, not destroyed";
        EXPECT_TRUE(IsLoaded(splash));
    }

    // Closing it (Alt+F4 from somewhere) hides it too.
    SendMessageW(splash.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(splash.Hwnd()));
    DestroyWindow(main);
    test::Pump();
}

}  // namespace vcm
