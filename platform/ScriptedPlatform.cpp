#include "platform/ScriptedPlatform.h"

#include "text/Error.h"

namespace tarvelo {

namespace {
const char* cursorName(Cursor c) {
    switch (c) {
        case Cursor::Default:
            return "default";
        case Cursor::Hourglass:
            return "hourglass";
        case Cursor::DatabaseWait:
            return "database-wait";
    }
    return "?";
}
}  // namespace

std::vector<std::string> ScriptedPlatform::messages() const {
    std::vector<std::string> out;
    for (const auto& e : m_events)
        if (e.kind != Event::SetCursor && e.kind != Event::OpenFile && e.kind != Event::SaveFile)
            out.push_back(e.text);
    return out;
}

void ScriptedPlatform::message(std::string_view text) {
    m_events.push_back({Event::Message, std::string(text)});
}

void ScriptedPlatform::information(std::string_view text) {
    m_events.push_back({Event::Information, std::string(text)});
}

bool ScriptedPlatform::question(std::string_view text, std::string_view) {
    m_events.push_back({Event::Question, std::string(text)});
    if (m_questions.empty()) throw Error("测试脚本没有准备这个问题的回答。", std::string(text));
    const auto answer = std::move(m_questions.front());
    m_questions.pop_front();
    return answer();
}

Platform::SaveAnswer ScriptedPlatform::askToSave(std::string_view text, std::string_view) {
    m_events.push_back({Event::AskToSave, std::string(text)});
    if (m_saveAnswers.empty()) throw Error("测试脚本没有准备这个问题的回答。", std::string(text));
    const SaveAnswer answer = m_saveAnswers.front();
    m_saveAnswers.pop_front();
    return answer;
}

void ScriptedPlatform::errorBox(std::string_view text) {
    m_events.push_back({Event::ErrorBox, std::string(text)});
}

std::optional<std::string> ScriptedPlatform::openFile(std::string_view filter,
                                                      std::string_view directory,
                                                      std::string_view) {
    m_events.push_back({Event::OpenFile, std::string(filter)});
    m_directories.emplace_back(directory);
    if (m_files.empty()) throw Error("测试脚本没有准备文件对话框的回答。", std::string(filter));
    auto path = m_files.front();
    m_files.pop_front();
    return path;
}

std::optional<std::string> ScriptedPlatform::saveFile(std::string_view filter,
                                                      std::string_view directory,
                                                      std::string_view name, std::string_view) {
    m_events.push_back({Event::SaveFile, std::string(name)});
    m_directories.emplace_back(directory);
    if (m_saveFiles.empty()) throw Error("测试脚本没有准备保存对话框的回答。", std::string(filter));
    auto path = m_saveFiles.front();
    m_saveFiles.pop_front();
    return path;
}

void ScriptedPlatform::setCursor(Cursor cursor) {
    m_cursor = cursor;
    m_events.push_back({Event::SetCursor, cursorName(cursor)});
}

}  // namespace tarvelo
