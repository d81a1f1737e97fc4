// Snapshots of the screen: a dialog drawn over the desktop, read back from the PNG file.
#include <windows.h>

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "compiled_resources.h"
#include "message_recorder.h"
#include "win32/gdi32/screen_control.h"

namespace gdi_test {
namespace {

constexpr uint16_t kDialogType = 5;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<png_byte> rgb;
    COLORREF At(int x, int y) const {
        const png_byte* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return RGB(p[0], p[1], p[2]);
    }
};

Picture ReadPng(const std::string& path) {
    Picture picture;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr);
    return picture;
}

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST(GdiSnapshot, ADialogIsDrawnWithItsCaptionFaceAndControlsOverTheDesktop) {
    sim::Machine machine(1);
    std::string path = ::testing::TempDir() + "gdi_snapshot_test.png";
    user32_test::RunThreads(
        {{"ui", [&] {
              sim::win32::SetScreen(800, 600, 40);
              std::vector<uint8_t> bytes =
                  user32_test::CompiledResource(AMPWISE_RES, kDialogType, 102);
              HWND dialog = CreateDialogIndirectParamA(
                  NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL, QuietDialog, 0);
              ASSERT_NE(dialog, (HWND)NULL);
              SetWindowPos(dialog, NULL, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
              std::string error;
              ASSERT_TRUE(sim::win32::SaveSnapshot(path, &error)) << error;
              DestroyWindow(dialog);
          }}});
    Picture picture = ReadPng(path);
    std::remove(path.c_str());
    ASSERT_EQ(picture.width, 800);
    ASSERT_EQ(picture.height, 600);
    EXPECT_EQ(picture.At(10, 10), GetSysColor(COLOR_DESKTOP));
    EXPECT_EQ(picture.At(10, 590), GetSysColor(COLOR_BTNFACE));      // the taskbar
    EXPECT_EQ(picture.At(100, 50), GetSysColor(COLOR_WINDOWFRAME));  // the frame's corner
    EXPECT_EQ(picture.At(100 + 300, 50 + 4), GetSysColor(COLOR_ACTIVECAPTION));
    // Inside the client area, below the caption: the dialog's face, and somewhere on it
    // the dark pixels of its controls' text.
    EXPECT_EQ(picture.At(100 + 3 + 1, 50 + 3 + 18 + 1), GetSysColor(COLOR_BTNFACE));
    int dark = 0;
    for (int y = 71; y < 71 + 300; y++) {
        for (int x = 103; x < 103 + 480; x++) {
            dark += GetRValue(picture.At(x, y)) < 64 && GetBValue(picture.At(x, y)) < 64;
        }
    }
    EXPECT_GT(dark, 50);
    // The dialog was made hidden, then placed, shown and activated in one call, then destroyed.
    std::vector<std::string> expected = {"ampwise shown x=100 y=50 w=486 h=324",
                                         "ampwise activated", "ampwise hidden",
                                         "ampwise destroyed"};
    EXPECT_EQ(machine.log.Texts("ui"), expected);
}

TEST(GdiSnapshot, ButtonsTellTheirCaptionAndEnabling) {
    sim::Machine machine(1);
    user32_test::RunThreads(
        {{"ui", [] {
              HWND owner = CreateWindowExA(0, "Static", "Main window", WS_POPUP, 0, 0, 100, 100,
                                           NULL, NULL, NULL, nullptr);
              HWND button = CreateWindowExA(0, "Button", "Go", WS_CHILD | BS_PUSHBUTTON, 0, 0, 40,
                                            20, owner, reinterpret_cast<HMENU>(7), NULL, nullptr);
              SetWindowTextA(button, "Stop");
              EnableWindow(button, FALSE);
              EnableWindow(button, FALSE);  // no change, no line
              EnableWindow(button, TRUE);
              DestroyWindow(owner);
          }}});
    std::vector<std::string> expected = {"mainwindow.7 caption \"Stop\"", "mainwindow.7 enabled=0",
                                         "mainwindow.7 enabled=1", "mainwindow destroyed"};
    EXPECT_EQ(machine.log.Texts("ui"), expected);
}

}  // namespace
}  // namespace gdi_test
