// A scripted user at the message-box seam: records every box and answers
// from a queue (IDCANCEL once the queue is empty). One instance at a time;
// installs itself on construction, restores the previous responder after.
#pragma once

#include "framework/AppMessageBox.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ScriptedBoxes {
public:
    struct Box {
        void* owner;
        std::string text, caption;
        unsigned type;
    };

    ScriptedBoxes();
    ~ScriptedBoxes();
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    std::deque<int> answers;
    std::vector<Box> shown;
    // Runs as each box is shown, before it is answered.
    std::function<void(const Box&)> onShow;

    static int Respond(void* owner, const char* text, const char* caption, unsigned type);

private:
    AppMessageBoxFn m_previous = nullptr;
};
