// uidriver: plays the user of a GUI program in the same Wine (or Windows)
// session. A small console program that reads a script of steps, waits for
// each window the step names, compares its texts byte for byte with the
// script's, clicks the button asked for and waits until the window is gone.
//
//   uidriver [--watch] [--shots DIR] [--timeout SECONDS] SCRIPT
//
// Script: one step per line, fields separated by one TAB; in a field "\r",
// "\n", "\t", "\\" and "\xHH" stand for those bytes (texts are Windows-1252).
// Empty lines and lines starting with '#' are ignored.
//
//   box CAPTION TEXT BUTTONS CLICK [SHOT]
//       a message box with an icon (class #32770, its text the static 0xFFFF,
//       an SS_ICON static beside it); BUTTONS is the set it must show: OK,
//       OKCANCEL or YESNO; CLICK is OK, CANCEL, YES or NO
//   dialog CAPTION ID TEXT CLICK [SHOT]
//       a dialog holding control ID with text TEXT; CLICK is a button id
//   transient CAPTION ID TEXT [SHOT]
//       a dialog that closes by itself, perhaps before we see it: waiting
//       stops when the next step's window shows; prints "seen" or "missed"
//   window CLASS [SHOT]       a visible top-level window of that class
//   key CLASS                 posts a key press to it, waits until it is gone
//   noproc EXE                fails if a process of that file name runs
//   waitproc EXE              waits until no process of that file name runs
//   shortpath PATH            prints "shortpath <GetShortPathNameA result>"
//   screensaver get           prints "screensaveactive 0" or "... 1"
//   screensaver set N         switches the system's screen saver off (0) or on
//   sleep MS
//   list                      prints every visible top-level window and its controls
//
// SHOT names a screenshot: with --shots, the driver asks for a picture of the
// window through the folder DIR once the window is drawn (see "screenshots"
// below); a window that stays undrawn fails the step, a transient dialog
// that closes before it is drawn counts as missed. --watch: a person
// answers; steps check texts but click nothing and wait for the window to go.
//
// Texts are read with InternalGetWindowText, which asks the window manager
// and sends no message, so a window whose thread is busy cannot block us.
// Exit code: 0 every step passed, 1 a text or button did not match, 2 a wait
// timed out, 3 bad usage or script. Each step prints one line.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum { MAX_FIELDS = 6, FIELD_SIZE = 4096, MAX_STEPS = 128, TEXT_SIZE = 8192, POLL_MS = 5 };
enum { EXIT_OK = 0, EXIT_MISMATCH = 1, EXIT_TIMEOUT = 2, EXIT_USAGE = 3 };

struct Step {
    int line;                            // script line, for messages
    int fieldCount;                      // fields used, the command included
    char field[MAX_FIELDS][FIELD_SIZE];  // unescaped fields; field[0] is the command
};

struct Driver {
    Step steps[MAX_STEPS];   // the whole script
    int stepCount;           // steps read
    int watch;               // 1: a person clicks, we only check
    DWORD timeoutMs;         // limit of every wait
    char shotDir[MAX_PATH];  // screenshot hand-shake folder, or empty
};

Driver* gDriver;  // allocated in main: too big for static storage

// ---- script ----

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unescapes src[0..len) into out; 0 on a bad escape or overflow.
int Unescape(const char* src, size_t len, char* out, size_t size) {
    size_t o = 0;
    for (size_t i = 0; i < len; ++i) {
        char c = src[i];
        if (c == '\\') {
            if (++i >= len) return 0;
            switch (src[i]) {
            case 'r': c = '\r'; break;
            case 'n': c = '\n'; break;
            case 't': c = '\t'; break;
            case '\\': c = '\\'; break;
            case 'x': {
                if (i + 2 >= len) return 0;
                int hi = HexDigit(src[i + 1]), lo = HexDigit(src[i + 2]);
                if (hi < 0 || lo < 0 || (hi | lo) == 0) return 0;  // a NUL would end the text early
                c = (char)(hi * 16 + lo);
                i += 2;
                break;
            }
            default: return 0;
            }
        }
        if (o + 1 >= size) return 0;
        out[o++] = c;
    }
    out[o] = '\0';
    return 1;
}

int ParseLine(const char* text, size_t len, int lineNo, Step* step) {
    step->line = lineNo;
    step->fieldCount = 0;
    size_t start = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i < len && text[i] != '\t') continue;
        if (step->fieldCount == MAX_FIELDS) return 0;
        if (!Unescape(text + start, i - start, step->field[step->fieldCount], FIELD_SIZE)) return 0;
        ++step->fieldCount;
        start = i + 1;
    }
    return 1;
}

int LoadScript(Driver* d, const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        printf("FAIL cannot open script %s\n", path);
        return 0;
    }
    enum { SCRIPT_MAX = MAX_STEPS * 1024 };
    char* buffer = (char*)malloc(SCRIPT_MAX);
    if (!buffer) {
        fclose(f);
        return 0;
    }
    size_t size = fread(buffer, 1, SCRIPT_MAX - 1, f);
    int tooLong = fgetc(f) != EOF;
    fclose(f);
    if (tooLong) {
        printf("FAIL script %s is longer than %d bytes\n", path, SCRIPT_MAX - 1);
        free(buffer);
        return 0;
    }
    buffer[size] = '\0';
    int lineNo = 0;
    for (size_t pos = 0; pos < size;) {
        const char* nl = (const char*)memchr(buffer + pos, '\n', size - pos);
        size_t end = nl ? (size_t)(nl - buffer) : size;
        size_t len = end - pos;
        ++lineNo;
        if (len > 0 && buffer[pos + len - 1] == '\r') --len;
        if (len > 0 && buffer[pos] != '#') {
            if (d->stepCount == MAX_STEPS || !ParseLine(buffer + pos, len, lineNo, &d->steps[d->stepCount])) {
                printf("FAIL script line %d: bad line\n", lineNo);
                free(buffer);
                return 0;
            }
            ++d->stepCount;
        }
        pos = end + 1;
    }
    free(buffer);
    return 1;
}

// ---- output ----

// Prints a text with control and non-ASCII bytes escaped, as the script writes them.
void PrintEscaped(const char* text) {
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p == '\r')
            fputs("\\r", stdout);
        else if (*p == '\n')
            fputs("\\n", stdout);
        else if (*p == '\t')
            fputs("\\t", stdout);
        else if (*p == '\\')
            fputs("\\\\", stdout);
        else if (*p < 0x20 || *p >= 0x7F)
            printf("\\x%02X", *p);
        else
            putchar(*p);
    }
}

void PrintMismatch(const Step* step, const char* what, const char* expected, const char* got) {
    printf("FAIL line %d (%s): %s differs\n  expected: \"", step->line, step->field[0], what);
    PrintEscaped(expected);
    printf("\"\n  got:      \"");
    PrintEscaped(got);
    printf("\"\n");
}

// ---- windows ----

// A window's text as the window manager holds it, in the ANSI code page.
void ReadText(HWND window, char* out, int size) {
    static WCHAR wide[TEXT_SIZE];
    int n = InternalGetWindowText(window, wide, TEXT_SIZE);
    int m = n > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, n, out, size - 1, NULL, NULL) : 0;
    out[m > 0 ? m : 0] = '\0';
}

int HasClass(HWND window, const char* className) {
    char name[256];
    return GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, className) == 0;
}

// What identifies a window besides caption and class: a control it must
// hold, or the shape of a message box.
enum { ANY_WINDOW = 0, MESSAGE_BOX = -1 };

BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
    char name[32];
    if (GetClassNameA(child, name, sizeof name) > 0 && lstrcmpiA(name, "Static") == 0 && IsWindowVisible(child) &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *(int*)param = 1;
        return FALSE;
    }
    return TRUE;
}

// A message box with an icon: its text is the static 0xFFFF and its icon a
// static of style SS_ICON (id 20 on Windows, 1088 under Wine). A dialog that
// only has statics 0xFFFF (labels no code addresses) is not one.
int IsMessageBox(HWND window) {
    if (!GetDlgItem(window, 0xFFFF)) return 0;
    int hasIcon = 0;
    EnumChildWindows(window, FindIconControl, (LPARAM)&hasIcon);
    return hasIcon;
}

struct Search {
    const char* caption;    // exact caption wanted, or NULL
    const char* className;  // exact class wanted
    int controlId;          // child control that must exist, ANY_WINDOW or MESSAGE_BOX
    HWND found;             // result
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    Search* s = (Search*)param;
    if (!IsWindowVisible(window) || !HasClass(window, s->className)) return TRUE;
    if (s->caption) {
        static char caption[TEXT_SIZE];
        ReadText(window, caption, sizeof caption);
        if (strcmp(caption, s->caption) != 0) return TRUE;
    }
    if (s->controlId == MESSAGE_BOX ? !IsMessageBox(window)
                                    : s->controlId != ANY_WINDOW && !GetDlgItem(window, s->controlId))
        return TRUE;
    s->found = window;
    return FALSE;
}

HWND FindTopLevel(const char* caption, const char* className, int controlId) {
    Search s = {caption, className, controlId, NULL};
    EnumWindows(MatchTopLevel, (LPARAM)&s);
    return s.found;
}

BOOL CALLBACK ListChild(HWND child, LPARAM) {
    char name[256], text[TEXT_SIZE];
    GetClassNameA(child, name, sizeof name);
    ReadText(child, text, sizeof text);
    printf("    control %d class \"%s\" style 0x%08lX%s text \"", GetDlgCtrlID(child), name,
           (unsigned long)GetWindowLongA(child, GWL_STYLE), IsWindowVisible(child) ? "" : " hidden");
    PrintEscaped(text);
    printf("\"\n");
    return TRUE;
}

BOOL CALLBACK ListOne(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    char name[256], caption[TEXT_SIZE];
    GetClassNameA(window, name, sizeof name);
    ReadText(window, caption, sizeof caption);
    printf("  window class \"%s\" caption \"", name);
    PrintEscaped(caption);
    printf("\"\n");
    EnumChildWindows(window, ListChild, 0);
    return TRUE;
}

// On a timeout, what was there instead helps more than the timeout itself.
void ListWindows() {
    printf("  visible top-level windows now:\n");
    EnumWindows(ListOne, 0);
}

int WaitGone(HWND window, DWORD limit) {
    for (DWORD start = GetTickCount(); IsWindow(window); Sleep(POLL_MS)) {
        if (GetTickCount() - start > limit) return 0;
    }
    return 1;
}

// ---- screenshots ----
//
// A window is pictured only once it is drawn: a window that has just become
// visible may not have painted yet, or Wine may not yet have copied its
// painting to the X server, and its picture would be black or half drawn.
// So the driver freezes the window's thread, which holds everything still (a
// dialog that closes by itself as soon as its work is done included), and
// writes DIR\SHOT.req naming the rectangles to look at, in screen
// coordinates, one per line:
//
//   window L T R B     the window
//   caption L T R B    its caption bar, when it has one
//   text L T R B       each visible control that shows a text
//
// Whoever takes the pictures answers in DIR\SHOT.ack: "taken" (the picture
// is saved), "undrawn: WHAT" (not drawn yet: the thread runs for a moment
// and the driver asks again, SHOT_TRIES times at most) or "error: WHAT".

enum { SHOT_TRIES = 200, SHOT_RUN_MS = 1, SHOT_ANSWER_MS = 20000, SHOT_WHY_SIZE = 512 };
enum ShotAnswer { SHOT_TAKEN, SHOT_UNDRAWN, SHOT_FAILED };
enum ShotOutcome { SHOT_OK, SHOT_GONE, SHOT_ERROR };

void WriteRect(FILE* f, const char* what, const RECT* r) {
    fprintf(f, "%s %ld %ld %ld %ld\n", what, (long)r->left, (long)r->top, (long)r->right, (long)r->bottom);
}

// The window's thread is frozen: only calls that send it no message here.
BOOL CALLBACK WriteTextRect(HWND child, LPARAM param) {
    static char text[TEXT_SIZE];
    RECT r;
    ReadText(child, text, sizeof text);
    if (IsWindowVisible(child) && text[0] && GetWindowRect(child, &r) && r.right > r.left && r.bottom > r.top) {
        WriteRect((FILE*)param, "text", &r);
    }
    return TRUE;
}

int WriteShotRequest(HWND window, const char* path) {
    FILE* f = fopen(path, "wb");
    if (!f) return 0;
    RECT r;
    GetWindowRect(window, &r);
    WriteRect(f, "window", &r);
    if ((GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        // Between the top border and the client area, inside the side borders.
        RECT client;
        POINT origin = {0, 0};
        GetClientRect(window, &client);
        ClientToScreen(window, &origin);
        RECT caption = {origin.x, r.top + (origin.x - r.left), origin.x + client.right, origin.y};
        if (caption.bottom > caption.top && caption.right > caption.left) WriteRect(f, "caption", &caption);
    }
    EnumChildWindows(window, WriteTextRect, (LPARAM)f);
    return fclose(f) == 0;
}

// Hands one request over and waits for the answer, whose text goes to `why`.
ShotAnswer AskForShot(HWND window, const char* name, char* why) {
    char req[MAX_PATH], tmp[MAX_PATH], ack[MAX_PATH];
    _snprintf(req, sizeof req, "%s\\%s.req", gDriver->shotDir, name);
    _snprintf(tmp, sizeof tmp, "%s\\%s.tmp", gDriver->shotDir, name);
    _snprintf(ack, sizeof ack, "%s\\%s.ack", gDriver->shotDir, name);
    req[sizeof req - 1] = tmp[sizeof tmp - 1] = ack[sizeof ack - 1] = '\0';
    // Written aside and renamed, so that the request is never read half written.
    if (!WriteShotRequest(window, tmp) || !MoveFileExA(tmp, req, MOVEFILE_REPLACE_EXISTING)) {
        _snprintf(why, SHOT_WHY_SIZE, "error: cannot write %s", req);
        return SHOT_FAILED;
    }
    for (DWORD start = GetTickCount(); GetFileAttributesA(ack) == INVALID_FILE_ATTRIBUTES; Sleep(20)) {
        if (GetTickCount() - start > SHOT_ANSWER_MS) {
            _snprintf(why, SHOT_WHY_SIZE, "error: no answer to %s within %d ms", req, SHOT_ANSWER_MS);
            return SHOT_FAILED;
        }
    }
    why[0] = '\0';
    FILE* f = fopen(ack, "rb");
    if (f) {
        size_t n = fread(why, 1, SHOT_WHY_SIZE - 1, f);
        why[n] = '\0';
        why[strcspn(why, "\r\n")] = '\0';
        fclose(f);
    }
    DeleteFileA(ack);
    if (strcmp(why, "taken") == 0) return SHOT_TAKEN;
    if (strncmp(why, "undrawn", 7) == 0) return SHOT_UNDRAWN;
    return SHOT_FAILED;
}

HANDLE Freeze(HWND window) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(window, NULL));
    if (thread && SuspendThread(thread) == (DWORD)-1) {
        CloseHandle(thread);
        thread = NULL;
    }
    return thread;
}

void Thaw(HANDLE thread) {
    if (!thread) return;
    ResumeThread(thread);
    CloseHandle(thread);
}

// Takes the picture `name` of `window` once it is drawn. SHOT_GONE: the
// window closed before it was drawn.
ShotOutcome ShotWhenDrawn(HWND window, const char* name) {
    if (!gDriver->shotDir[0] || !name || !name[0]) return SHOT_OK;
    static char why[SHOT_WHY_SIZE];
    why[0] = '\0';
    for (int attempt = 1; attempt <= SHOT_TRIES; ++attempt) {
        HANDLE thread = Freeze(window);
        if (!IsWindow(window)) {
            Thaw(thread);
            printf("shot %s not taken: the window closed before it was drawn%s%s\n", name, why[0] ? "; last: " : "",
                   why);
            return SHOT_GONE;
        }
        ShotAnswer answer = AskForShot(window, name, why);
        Thaw(thread);
        if (answer == SHOT_TAKEN) {
            printf("shot %s (drawn at try %d)\n", name, attempt);
            return SHOT_OK;
        }
        if (answer == SHOT_FAILED) {
            printf("FAIL shot %s: %s\n", name, why);
            return SHOT_ERROR;
        }
        Sleep(SHOT_RUN_MS);  // the window's thread runs and may draw
    }
    printf("FAIL shot %s: still not drawn after %d tries (%s)\n", name, SHOT_TRIES, why);
    return SHOT_ERROR;
}

int ButtonId(const char* name) {
    if (strcmp(name, "OK") == 0) return IDOK;
    if (strcmp(name, "CANCEL") == 0) return IDCANCEL;
    if (strcmp(name, "YES") == 0) return IDYES;
    if (strcmp(name, "NO") == 0) return IDNO;
    return atoi(name);
}

struct ButtonSet {
    int ids[8];  // visible button ids, in child order
    int count;   // how many
};

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
    ButtonSet* set = (ButtonSet*)param;
    if (HasClass(child, "Button") && IsWindowVisible(child) && set->count < 8) {
        set->ids[set->count++] = GetDlgCtrlID(child);
    }
    return TRUE;
}

// The buttons a message box style shows: MB_OK, MB_OKCANCEL, MB_YESNO.
int ButtonsMatch(HWND box, const char* wanted, char* got, size_t size) {
    ButtonSet set = {{0}, 0};
    EnumChildWindows(box, CollectButton, (LPARAM)&set);
    int has[8] = {0};
    got[0] = '\0';
    for (int i = 0; i < set.count; ++i) {
        const char* name = set.ids[i] == IDOK       ? "OK"
                           : set.ids[i] == IDCANCEL ? "CANCEL"
                           : set.ids[i] == IDYES    ? "YES"
                           : set.ids[i] == IDNO     ? "NO"
                                                    : "?";
        if (set.ids[i] >= 0 && set.ids[i] < 8) has[set.ids[i]] = 1;
        strncat(got, name, size - strlen(got) - 1);
        strncat(got, " ", size - strlen(got) - 1);
    }
    if (strcmp(wanted, "OK") == 0) return set.count == 1 && has[IDOK];
    if (strcmp(wanted, "OKCANCEL") == 0) return set.count == 2 && has[IDOK] && has[IDCANCEL];
    if (strcmp(wanted, "YESNO") == 0) return set.count == 2 && has[IDYES] && has[IDNO];
    return 0;
}

void Click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    DWORD_PTR result;
    if (button) {
        SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    } else {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
}

HWND WaitFor(const char* caption, const char* className, int controlId) {
    for (DWORD start = GetTickCount();; Sleep(POLL_MS)) {
        HWND found = FindTopLevel(caption, className, controlId);
        if (found) return found;
        if (GetTickCount() - start > gDriver->timeoutMs) return NULL;
    }
}

// Reads a control's text until it equals `expected` or the window goes: the
// owner may still be filling it in when we first look.
int ControlTextMatches(HWND dialog, int id, const char* expected, char* got, int size) {
    for (DWORD start = GetTickCount();; Sleep(POLL_MS)) {
        HWND control = GetDlgItem(dialog, id);
        got[0] = '\0';
        if (control) ReadText(control, got, size);
        if (strcmp(got, expected) == 0) return 1;
        if (!IsWindow(dialog) || GetTickCount() - start > 1000) return 0;
    }
}

// Ends a step that found its window: checks done, now click (or let the
// person click) and wait until the window is gone.
int Finish(const Step* step, HWND window, int clickId) {
    if (!gDriver->watch && clickId > 0) Click(window, clickId);
    DWORD limit = gDriver->watch ? 600000 : gDriver->timeoutMs;
    if (!WaitGone(window, limit)) {
        printf("FAIL line %d (%s): window still there after the click\n", step->line, step->field[0]);
        return EXIT_TIMEOUT;
    }
    return EXIT_OK;
}

// Ends a box or dialog step whose checks passed: its screenshot, if the step
// names one, then the answer it gives (field 4).
int Answer(const Step* step, HWND window, const char* kind) {
    if (step->fieldCount > 5 && ShotWhenDrawn(window, step->field[5]) != SHOT_OK) return EXIT_TIMEOUT;
    printf("ok %s \"", kind);
    PrintEscaped(step->field[1]);
    printf("\" -> %s\n", gDriver->watch ? "answered by hand" : step->field[4]);
    return Finish(step, window, ButtonId(step->field[4]));
}

int Timeout(const Step* step, const char* what) {
    printf("FAIL line %d (%s): no %s \"", step->line, step->field[0], what);
    PrintEscaped(step->field[1]);
    printf("\" within %lu ms\n", (unsigned long)gDriver->timeoutMs);
    ListWindows();
    return EXIT_TIMEOUT;
}

// ---- steps ----

int StepBox(const Step* step) {
    if (step->fieldCount < 5) return EXIT_USAGE;
    HWND box = WaitFor(step->field[1], "#32770", MESSAGE_BOX);
    if (!box) return Timeout(step, "message box");
    static char text[TEXT_SIZE];
    if (!ControlTextMatches(box, 0xFFFF, step->field[2], text, sizeof text)) {
        PrintMismatch(step, "text", step->field[2], text);
        return EXIT_MISMATCH;
    }
    char buttons[64];
    if (!ButtonsMatch(box, step->field[3], buttons, sizeof buttons)) {
        PrintMismatch(step, "buttons", step->field[3], buttons);
        return EXIT_MISMATCH;
    }
    return Answer(step, box, "box");
}

int StepDialog(const Step* step) {
    if (step->fieldCount < 5) return EXIT_USAGE;
    int id = atoi(step->field[2]);
    HWND dialog = WaitFor(step->field[1], "#32770", id);
    if (!dialog) return Timeout(step, "dialog");
    static char text[TEXT_SIZE];
    if (!ControlTextMatches(dialog, id, step->field[3], text, sizeof text)) {
        PrintMismatch(step, "control text", step->field[3], text);
        return EXIT_MISMATCH;
    }
    return Answer(step, dialog, "dialog");
}

// The caption, class and control that the step after `index` waits for.
void NextWindow(int index, const char** caption, const char** className, int* controlId) {
    *caption = NULL;
    *className = NULL;
    *controlId = ANY_WINDOW;
    if (index + 1 >= gDriver->stepCount) return;
    const Step* next = &gDriver->steps[index + 1];
    if (strcmp(next->field[0], "box") == 0) {
        *caption = next->field[1], *className = "#32770", *controlId = MESSAGE_BOX;
    } else if (strcmp(next->field[0], "dialog") == 0 || strcmp(next->field[0], "transient") == 0) {
        *caption = next->field[1], *className = "#32770", *controlId = atoi(next->field[2]);
    } else if (strcmp(next->field[0], "window") == 0) {
        *className = next->field[1];
    }
}

int StepTransient(const Step* step, int index) {
    if (step->fieldCount < 4) return EXIT_USAGE;
    int id = atoi(step->field[2]);
    const char *nextCaption, *nextClass;
    int nextId;
    NextWindow(index, &nextCaption, &nextClass, &nextId);
    for (DWORD start = GetTickCount();; Sleep(1)) {
        HWND dialog = FindTopLevel(step->field[1], "#32770", id);
        if (dialog) {
            static char text[TEXT_SIZE];
            if (!ControlTextMatches(dialog, id, step->field[3], text, sizeof text)) {
                if (!IsWindow(dialog)) break;  // gone while we read: counts as missed
                PrintMismatch(step, "control text", step->field[3], text);
                return EXIT_MISMATCH;
            }
            if (step->fieldCount > 4) {
                ShotOutcome shot = ShotWhenDrawn(dialog, step->field[4]);
                if (shot == SHOT_ERROR) return EXIT_TIMEOUT;
                if (shot == SHOT_GONE) break;
            }
            printf("ok transient \"");
            PrintEscaped(step->field[1]);
            printf("\" seen\n");
            if (!WaitGone(dialog, gDriver->timeoutMs)) return Timeout(step, "end of dialog");
            return EXIT_OK;
        }
        if (nextClass && FindTopLevel(nextCaption, nextClass, nextId)) break;
        if (GetTickCount() - start > gDriver->timeoutMs) return Timeout(step, "dialog");
    }
    printf("ok transient \"");
    PrintEscaped(step->field[1]);
    printf("\" missed (closed before it was seen)\n");
    return EXIT_OK;
}

int StepWindow(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    HWND window = WaitFor(NULL, step->field[1], ANY_WINDOW);
    if (!window) return Timeout(step, "window of class");
    if (step->fieldCount > 2 && ShotWhenDrawn(window, step->field[2]) != SHOT_OK) return EXIT_TIMEOUT;
    printf("ok window %s\n", step->field[1]);
    return EXIT_OK;
}

int StepKey(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    HWND window = WaitFor(NULL, step->field[1], ANY_WINDOW);
    if (!window) return Timeout(step, "window of class");
    if (!gDriver->watch) PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0x00390001);
    if (!WaitGone(window, gDriver->watch ? 600000 : gDriver->timeoutMs)) {
        printf("FAIL line %d (key): window %s did not close on a key press\n", step->line, step->field[1]);
        return EXIT_TIMEOUT;
    }
    printf("ok key %s%s\n", step->field[1], gDriver->watch ? " (pressed by hand)" : "");
    return EXIT_OK;
}

int CountProcesses(const char* exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) ++count;
    }
    CloseHandle(snap);
    return count;
}

int StepNoProc(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    int count = CountProcesses(step->field[1]);
    if (count != 0) {
        printf("FAIL line %d (noproc): %d process(es) named %s\n", step->line, count, step->field[1]);
        return EXIT_MISMATCH;
    }
    printf("ok noproc %s\n", step->field[1]);
    return EXIT_OK;
}

int StepWaitProc(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    for (DWORD start = GetTickCount(); CountProcesses(step->field[1]) != 0; Sleep(POLL_MS)) {
        if (GetTickCount() - start > gDriver->timeoutMs) return Timeout(step, "end of process");
    }
    printf("ok waitproc %s\n", step->field[1]);
    return EXIT_OK;
}

int StepShortPath(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(step->field[1], shortPath, sizeof shortPath);
    if (n == 0 || n >= sizeof shortPath) shortPath[0] = '\0';
    printf("shortpath ");
    PrintEscaped(shortPath);
    printf("\n");
    return EXIT_OK;
}

// The system's screen saver switch, as the installer sets it.
int StepScreenSaver(const Step* step) {
    if (step->fieldCount < 2) return EXIT_USAGE;
    if (strcmp(step->field[1], "get") == 0) {
        BOOL active = FALSE;
        if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
            printf("FAIL line %d: SPI_GETSCREENSAVEACTIVE failed\n", step->line);
            return EXIT_MISMATCH;
        }
        printf("screensaveactive %d\n", active ? 1 : 0);
        return EXIT_OK;
    }
    if (strcmp(step->field[1], "set") == 0 && step->fieldCount > 2) {
        UINT on = (UINT)atoi(step->field[2]);
        if (!SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, on, NULL, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) {
            printf("FAIL line %d: SPI_SETSCREENSAVEACTIVE failed\n", step->line);
            return EXIT_MISMATCH;
        }
        printf("ok screensaver set %u\n", on);
        return EXIT_OK;
    }
    return EXIT_USAGE;
}

int RunStep(int index) {
    const Step* step = &gDriver->steps[index];
    const char* cmd = step->field[0];
    int rc;
    if (strcmp(cmd, "box") == 0)
        rc = StepBox(step);
    else if (strcmp(cmd, "dialog") == 0)
        rc = StepDialog(step);
    else if (strcmp(cmd, "transient") == 0)
        rc = StepTransient(step, index);
    else if (strcmp(cmd, "window") == 0)
        rc = StepWindow(step);
    else if (strcmp(cmd, "key") == 0)
        rc = StepKey(step);
    else if (strcmp(cmd, "noproc") == 0)
        rc = StepNoProc(step);
    else if (strcmp(cmd, "waitproc") == 0)
        rc = StepWaitProc(step);
    else if (strcmp(cmd, "shortpath") == 0)
        rc = StepShortPath(step);
    else if (strcmp(cmd, "screensaver") == 0)
        rc = StepScreenSaver(step);
    else if (strcmp(cmd, "list") == 0) {
        ListWindows();
        rc = EXIT_OK;
    } else if (strcmp(cmd, "sleep") == 0 && step->fieldCount > 1) {
        Sleep((DWORD)atoi(step->field[1]));
        rc = EXIT_OK;
    } else
        rc = EXIT_USAGE;
    if (rc == EXIT_USAGE) printf("FAIL line %d: unknown step or missing fields\n", step->line);
    return rc;
}

int Usage() {
    printf(
        "usage: uidriver [--watch] [--shots DIR] [--timeout SECONDS] SCRIPT\n"
        "Waits for each window a script names, checks its texts, clicks.\n"
        "See the comment at the top of uidriver.cpp for the script steps.\n");
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IONBF, 0);
    gDriver = (Driver*)calloc(1, sizeof(Driver));
    if (!gDriver) return EXIT_USAGE;
    Driver* d = gDriver;
    d->timeoutMs = 20000;
    const char* script = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--watch") == 0)
            d->watch = 1;
        else if (strcmp(argv[i], "--shots") == 0 && i + 1 < argc) {
            strncpy(d->shotDir, argv[++i], sizeof d->shotDir - 1);
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            d->timeoutMs = (DWORD)atoi(argv[++i]) * 1000;
        } else if (strcmp(argv[i], "--help") == 0 || script)
            return Usage();
        else
            script = argv[i];
    }
    if (!script) return Usage();
    if (GetACP() != 1252) printf("note: ANSI code page is %u, not 1252\n", GetACP());
    if (!LoadScript(d, script)) return EXIT_USAGE;
    for (int i = 0; i < d->stepCount; ++i) {
        int rc = RunStep(i);
        if (rc != EXIT_OK) return rc;
    }
    printf("all %d steps passed\n", d->stepCount);
    return EXIT_OK;
}
