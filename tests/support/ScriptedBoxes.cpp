#include "tests/support/ScriptedBoxes.h"

namespace {
ScriptedBoxes* g_boxes = nullptr;
}

ScriptedBoxes::ScriptedBoxes(int defaultAnswer) : defaultAnswer(defaultAnswer)
{
    g_boxes = this;
    m_previous = SetAppMessageBoxFn(&ScriptedBoxes::Respond);
}

ScriptedBoxes::~ScriptedBoxes()
{
    SetAppMessageBoxFn(m_previous);
    g_boxes = nullptr;
}

int ScriptedBoxes::Respond(void* owner, const char* text, const char* caption, unsigned type)
{
    ScriptedBoxes& self = *g_boxes;
    self.shown.push_back({owner, text ? text : "", caption ? caption : "", type});
    if (self.onShow)
        self.onShow(self.shown.back());
    if (self.answers.empty())
        return self.defaultAnswer;
    const int answer = self.answers.front();
    self.answers.pop_front();
    return answer;
}
