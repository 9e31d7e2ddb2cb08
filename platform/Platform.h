#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

// The shapes of the screen cursor the system shows.
enum class Cursor { Default, Hourglass, DatabaseWait };

// What a desktop platform gives the system: message boxes, the standard error box, the
// file-open dialog and the screen cursor. Windows and the data access module call this, never a
// toolkit directly, so that tests read every message and answer every question from a script.
class Platform {
public:
    virtual ~Platform() = default;

    // A plain message box with an OK button.
    virtual void message(std::string_view text) = 0;
    // The information box with its icon and a single OK button.
    virtual void information(std::string_view text) = 0;
    // An OK/Cancel question whose default button is Cancel; true for OK.
    virtual bool question(std::string_view text, std::string_view caption) = 0;
    // The question before unsaved changes would be lost, with the buttons "保存", "不保存" and
    // "取消"; "保存" is the default button, Escape and the close box answer "取消".
    enum class SaveAnswer { Save, Discard, Cancel };
    virtual SaveAnswer askToSave(std::string_view text, std::string_view caption) = 0;
    // The standard error box that ends an action whose failure nobody caught.
    virtual void errorBox(std::string_view text) = 0;
    // The file-open dialog, opened in `directory` (the working directory when empty); nullopt
    // when cancelled. `filter` like "Excel 工作簿 (*.xls *.xlsx);;*.xls (*.xls)": the first entry
    // is the one shown.
    virtual std::optional<std::string> openFile(std::string_view filter, std::string_view directory,
                                                std::string_view defaultExtension) = 0;
    // The file-save dialog, opened in `directory` with `name` proposed; it asks before an existing
    // file is replaced, and adds `defaultExtension` to a name typed without one. nullopt when
    // cancelled.
    virtual std::optional<std::string> saveFile(std::string_view filter, std::string_view directory,
                                                std::string_view name,
                                                std::string_view defaultExtension) = 0;

    virtual Cursor cursor() const = 0;
    virtual void setCursor(Cursor cursor) = 0;

    // Keyboard layouts and input methods, where the platform has them; elsewhere there is no
    // layout (0) and switching does nothing.
    using KeyboardLayout = std::uintptr_t;
    virtual KeyboardLayout keyboardLayout() = 0;
    virtual bool isInputMethodLayout(KeyboardLayout layout) = 0;
    virtual void activateKeyboardLayout(KeyboardLayout layout) = 0;
    // Simulates the input-method hot key `hotKey` on the active window (16: switch between the
    // input method and plain keyboard input).
    virtual void sendInputMethodHotKey(int hotKey) = 0;
};

// Shows `shape` for its lifetime and puts back the cursor it found, on every path.
class CursorGuard {
public:
    CursorGuard(Platform& platform, Cursor shape)
        : m_platform(platform), m_saved(platform.cursor()) {
        m_platform.setCursor(shape);
    }
    ~CursorGuard() { m_platform.setCursor(m_saved); }
    CursorGuard(const CursorGuard&) = delete;
    CursorGuard& operator=(const CursorGuard&) = delete;

private:
    Platform& m_platform;
    Cursor m_saved;
};

}  // namespace tarvelo
