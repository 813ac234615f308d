// MessageBoxA of our Linux Win32 layer: records the caption, the text bytes
// and the style, and returns the next scripted answer. Like a real message
// box, it runs a modal loop: messages posted before it opened are dispatched
// before the answer is taken, and a quit message already posted closes it at
// once with 0 (the quit stays posted).
//
// Never blocks: with no answer scripted it records a stall and returns
// IDCANCEL. An answer none of the box's buttons can give is returned all the
// same and noted in Records::misuse, so a wrong script shows up.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cstdio>

namespace hostwin {
namespace {

bool ButtonsCanGive(UINT style, int answer) {
    switch (style & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    default: return answer > 0;
    }
}

int TakeAnswer(const std::string& caption, UINT style) {
    for (int deliveries = 0; DispatchOne(); deliveries++) {
        if (deliveries == kMaxDeliveries) {
            Stall("MessageBoxA \"" + caption + "\": messages keep coming");
            return IDCANCEL;
        }
    }
    if (State().quitPending) return 0;
    auto& answers = State().messageBoxAnswers;
    if (answers.empty()) {
        Stall("MessageBoxA \"" + caption + "\": no scripted answer");
        return IDCANCEL;
    }
    int answer = answers.front();
    answers.pop_front();
    if (!ButtonsCanGive(style, answer)) {
        char text[96];
        snprintf(text, sizeof text, "MessageBoxA: answer %d is no button of style 0x%X", answer, style);
        Misuse(text);
    }
    return answer;
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    std::string shownCaption = caption ? caption : "Error";  // Windows' caption for NULL
    int answer = TakeAnswer(shownCaption, style);
    State().records.messageBoxes.push_back({text ? text : "", shownCaption, style, answer, owner});
    char tail[48];
    snprintf(tail, sizeof tail, " style=0x%X -> %d", style, answer);
    Event("MessageBoxA caption=" + shownCaption + tail);
    return answer;
}
