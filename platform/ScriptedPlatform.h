#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tarvelo {

// The platform of tests: records every message, question and cursor change in order, and
// answers questions and file dialogs from a script. A question or dialog the script did not
// foresee fails loudly instead of guessing.
class ScriptedPlatform : public Platform {
public:
    struct Event {
        enum Kind {
            Message,
            Information,
            Question,
            AskToSave,
            ErrorBox,
            OpenFile,
            SaveFile,
            SetCursor
        } kind;
        std::string text;  // the message, or the question's text; the cursor's name
        bool operator==(const Event&) const = default;
    };

    // Answers, taken in order by question(), askToSave() and openFile().
    void answerQuestion(bool ok) {
        m_questions.push_back([ok] { return ok; });
    }
    // An answer that first does something, as another user would while the box is open.
    void answerQuestion(std::function<bool()> answer) { m_questions.push_back(std::move(answer)); }
    void answerAskToSave(SaveAnswer answer) { m_saveAnswers.push_back(answer); }
    void answerOpenFile(std::optional<std::string> path) { m_files.push_back(std::move(path)); }
    void answerSaveFile(std::optional<std::string> path) { m_saveFiles.push_back(std::move(path)); }

    const std::vector<Event>& events() const { return m_events; }
    // The folder each file dialog opened in, in order.
    const std::vector<std::string>& openFileDirectories() const { return m_directories; }
    // The texts of the message-like events (message, information, the questions, error box).
    std::vector<std::string> messages() const;
    void clear() { m_events.clear(); }

    void message(std::string_view text) override;
    void information(std::string_view text) override;
    bool question(std::string_view text, std::string_view caption) override;
    SaveAnswer askToSave(std::string_view text, std::string_view caption) override;
    void errorBox(std::string_view text) override;
    std::optional<std::string> openFile(std::string_view filter, std::string_view initialName,
                                        std::string_view defaultExtension) override;
    // Records the proposed name as the event's text.
    std::optional<std::string> saveFile(std::string_view filter, std::string_view directory,
                                        std::string_view name,
                                        std::string_view defaultExtension) override;
    Cursor cursor() const override { return m_cursor; }
    void setCursor(Cursor cursor) override;
    // No input-method layouts here.
    KeyboardLayout keyboardLayout() override { return 0; }
    bool isInputMethodLayout(KeyboardLayout) override { return false; }
    void activateKeyboardLayout(KeyboardLayout) override {}
    void sendInputMethodHotKey(int) override {}

private:
    std::vector<Event> m_events;
    std::vector<std::string> m_directories;
    std::deque<std::function<bool()>> m_questions;
    std::deque<SaveAnswer> m_saveAnswers;
    std::deque<std::optional<std::string>> m_files;
    std::deque<std::optional<std::string>> m_saveFiles;
    Cursor m_cursor = Cursor::Default;
};

}  // namespace tarvelo
