// A scripted user at the message-box seam: records every box and answers
// from a queue, then with the default answer once the queue is empty. One
// instance at a time; it installs itself on construction and puts the
// previous responder back when it goes.
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

    // IDCANCEL (2) unless told otherwise: a prompt nobody scripted gives up.
    explicit ScriptedBoxes(int defaultAnswer = 2);
    ~ScriptedBoxes();
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    std::deque<int> answers;
    std::vector<Box> shown;
    // Runs as each box is shown, before it is answered.
    std::function<void(const Box&)> onShow;
    int defaultAnswer;

    static int Respond(void* owner, const char* text, const char* caption, unsigned type);

private:
    AppMessageBoxFn m_previous = nullptr;
};
