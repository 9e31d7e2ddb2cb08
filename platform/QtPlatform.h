#pragma once

#include "platform/Platform.h"

namespace tarvelo {

// The platform on Qt Widgets: message boxes titled with the program's name, the file dialog and
// the application's override cursor. Qt on this system has no input-method layouts to switch.
class QtPlatform : public Platform {
public:
    void message(std::string_view text) override;
    void information(std::string_view text) override;
    bool question(std::string_view text, std::string_view caption) override;
    SaveAnswer askToSave(std::string_view text, std::string_view caption) override;
    void errorBox(std::string_view text) override;
    std::optional<std::string> saveFile(std::string_view filter, std::string_view directory,
                                        std::string_view name,
                                        std::string_view defaultExtension) override;
    std::optional<std::string> openFile(std::string_view filter, std::string_view directory,
                                        std::string_view defaultExtension) override;
    Cursor cursor() const override { return m_cursor; }
    void setCursor(Cursor cursor) override;
    KeyboardLayout keyboardLayout() override { return 0; }
    bool isInputMethodLayout(KeyboardLayout) override { return false; }
    void activateKeyboardLayout(KeyboardLayout) override {}
    void sendInputMethodHotKey(int) override {}

private:
    Cursor m_cursor = Cursor::Default;
};

}  // namespace tarvelo
