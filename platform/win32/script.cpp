// The scripted user's queue: script.h's calls add actions, the modal loop of
// dialog.cpp takes them one per turn and plays them against the dialog.
#include "platform/kernel/kernel.h"
#include "platform/win32/userstate.h"

#include <cstdio>
#include <deque>
#include <utility>

using platform::win32::user::ScriptAction;

namespace {

std::deque<ScriptAction> queue;
int failureCount = 0;

void add(ScriptAction action) {
    queue.push_back(std::move(action));
}

} // namespace

namespace platform::win32::user {

bool nextScriptAction(ScriptAction& action) {
    if (queue.empty()) {
        return false;
    }
    action = std::move(queue.front());
    queue.pop_front();
    return true;
}

void scriptFailed(const char* what, int id) {
    char line[160];
    std::snprintf(line, sizeof line, "scripted user: %s (control %d)\n", what, id);
    OutputDebugStringA(line);
    ++failureCount;
}

} // namespace platform::win32::user

namespace platform::win32::script {

void chooseRow(int controlId, int row) {
    ScriptAction a(ScriptAction::Kind::chooseRow);
    a.controlId = controlId;
    a.row = row;
    add(std::move(a));
}

void chooseRowText(int controlId, const std::string& text) {
    ScriptAction a(ScriptAction::Kind::chooseRowText);
    a.controlId = controlId;
    a.text = text;
    add(std::move(a));
}

void click(int controlId) {
    ScriptAction a(ScriptAction::Kind::click);
    a.controlId = controlId;
    add(std::move(a));
}

void pressKey(int virtualKey, bool shift) {
    ScriptAction a(ScriptAction::Kind::key);
    a.vk = virtualKey;
    a.shift = shift;
    add(std::move(a));
}

void closeFrame() {
    add(ScriptAction(ScriptAction::Kind::close));
}

void call(std::function<void(HWND dialog)> action) {
    ScriptAction a(ScriptAction::Kind::call);
    a.code = std::move(action);
    add(std::move(a));
}

void clear() {
    queue.clear();
    failureCount = 0;
}

std::size_t pending() {
    return queue.size();
}

int failures() {
    return failureCount;
}

} // namespace platform::win32::script
