// Reads another process's dialog or message box under the same Wine server and prints it.
//
//   dialog_probe controls CAPTION   the dialog's style and every child window in Z (= template)
//                                   order: class, id, style, position and size in dialog
//                                   units, text
//   dialog_probe list CAPTION       each list box entry: 1 when selected, else 0, a tab, the text
//   dialog_probe message CAPTION    a message box: its owner's caption, its text, its buttons
//   dialog_probe center CAPTION ID  the screen coordinates of the middle of control ID
//   dialog_probe item CAPTION INDEX the screen coordinates of the middle of list entry INDEX
//   dialog_probe rect CAPTION       the window's place on the screen: left top right bottom
//   dialog_probe wait CAPTION       only waits for the window
//   dialog_probe answers CAPTION    waits until the window's program has handled a message
//   dialog_probe gone CAPTION       waits until no window has that caption
//
// Every command first waits (up to kWaitMilliseconds) for a visible "#32770" window with the
// caption. Texts are printed in the ANSI code page, or in UTF-8 when the first argument is
// --utf8 (the caption is then UTF-8 too). Exit code 0 on success, 1 when the window never came
// (or never went, or never answered), 2 for usage. A command reads the window once: the caller
// waits for the state it expects by asking again.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A hang, not a speed limit: on a busy machine a window can take seconds to come or to answer.
constexpr DWORD kWaitMilliseconds = 60000;
constexpr DWORD kPollMilliseconds = 100;
// The template's size: the dialog's client area spans exactly this many dialog units, which
// lets positions be converted without MapDialogRect (it needs the dialog's own process).
constexpr int kDialogWidthUnits = 316;
constexpr int kDialogHeightUnits = 255;
constexpr size_t kTextChars = 8192;  // a report of many sets is long

// The code page texts are printed and captions given in.
UINT g_textCodepage = CP_ACP;

std::wstring Wide(const char* text) {
    std::wstring wide(strlen(text) + 1, L'\0');
    const int length =
        MultiByteToWideChar(g_textCodepage, 0, text, -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    char narrow[kTextChars * 4] = {};
    WideCharToMultiByte(g_textCodepage, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

HWND FindDialog(const char* caption) {
    HWND window = FindWindowW(L"#32770", Wide(caption).c_str());
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// True while less than kWaitMilliseconds have passed since start (a GetTickCount value).
bool BeforeDeadline(DWORD start) {
    return GetTickCount() - start < kWaitMilliseconds;
}

HWND WaitForDialog(const char* caption) {
    const DWORD start = GetTickCount();
    do {
        if (HWND window = FindDialog(caption)) {
            return window;
        }
        Sleep(kPollMilliseconds);
    } while (BeforeDeadline(start));
    return nullptr;
}

// The text of a window as its own process answers WM_GETTEXT, with line feeds and
// backslashes escaped so that every window prints on one line. A busy program may take a
// while to answer; it is not taken for hung.
std::string WindowText(HWND window) {
    wchar_t wide[kTextChars] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, kTextChars, reinterpret_cast<LPARAM>(wide),
                             SMTO_NORMAL, kWaitMilliseconds, &copied)) {
        return "<no answer>";
    }
    const std::string text = Narrow(wide);
    std::string escaped;
    for (const char* c = text.c_str(); *c != '\0'; ++c) {
        if (*c == '\n') {
            escaped += "\\n";
        } else if (*c == '\r') {
            escaped += "\\r";
        } else if (*c == '\\') {
            escaped += "\\\\";
        } else {
            escaped += *c;
        }
    }
    return escaped;
}

int Round(double value) {
    return static_cast<int>(value < 0 ? value - 0.5 : value + 0.5);
}

struct ChildList {
    HWND parent;
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    ChildList* list = reinterpret_cast<ChildList*>(context);
    if (GetParent(child) == list->parent) {
        list->children.push_back(child);
    }
    return TRUE;
}

std::vector<HWND> DirectChildren(HWND parent) {
    ChildList list{parent, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list.children;
}

int PrintControls(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    const double unitX = static_cast<double>(client.right) / kDialogWidthUnits;
    const double unitY = static_cast<double>(client.bottom) / kDialogHeightUnits;
    printf("dialog style=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(dialog, GWL_STYLE)));
    for (HWND child : DirectChildren(dialog)) {
        char className[kTextChars];
        GetClassNameA(child, className, sizeof className);
        RECT rect;
        GetWindowRect(child, &rect);
        POINT topLeft = {rect.left, rect.top};
        POINT bottomRight = {rect.right, rect.bottom};
        ScreenToClient(dialog, &topLeft);
        ScreenToClient(dialog, &bottomRight);
        printf("%s id=%d style=0x%08lx rect=%d,%d,%d,%d text=\"%s\"\n", className,
               static_cast<int>(static_cast<short>(GetDlgCtrlID(child))),
               static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
               Round(topLeft.x / unitX), Round(topLeft.y / unitY),
               Round((bottomRight.x - topLeft.x) / unitX),
               Round((bottomRight.y - topLeft.y) / unitY), WindowText(child).c_str());
    }
    return 0;
}

HWND FindListBox(HWND dialog) {
    for (HWND child : DirectChildren(dialog)) {
        char className[kTextChars];
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "ListBox") == 0) {
            return child;
        }
    }
    return nullptr;
}

// Wine hands only one character across processes for LB_GETTEXT in its A form; the W form
// carries the whole entry, converted back to the ANSI code page here.
int PrintList(HWND dialog) {
    HWND list = FindListBox(dialog);
    if (list == nullptr) {
        fprintf(stderr, "no list box\n");
        return 1;
    }
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring wide(length < 0 ? 0 : static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        const LRESULT selected = SendMessageW(list, LB_GETSEL, i, 0);
        printf("%d\t%s\n", selected > 0 ? 1 : 0, Narrow(wide.c_str()).c_str());
    }
    return 0;
}

int PrintMessageBox(HWND box) {
    HWND owner = GetWindow(box, GW_OWNER);
    printf("owner=\"%s\"\n", owner != nullptr ? WindowText(owner).c_str() : "");
    for (HWND child : DirectChildren(box)) {
        char className[kTextChars];
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0) {
            const std::string text = WindowText(child);
            if (!text.empty()) {
                printf("text=\"%s\"\n", text.c_str());
            }
        } else if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
            printf("button=\"%s\"\n", WindowText(child).c_str());
        }
    }
    return 0;
}

int PrintCenter(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        fprintf(stderr, "no control %d\n", id);
        return 1;
    }
    RECT rect;
    GetWindowRect(control, &rect);
    printf("%ld %ld\n", (rect.left + rect.right) / 2L, (rect.top + rect.bottom) / 2L);
    return 0;
}

// Entries have one height (no owner-draw), so the entry's place follows from its index.
int PrintItemCenter(HWND dialog, int index) {
    HWND list = FindListBox(dialog);
    if (list == nullptr) {
        fprintf(stderr, "no list box\n");
        return 1;
    }
    const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    if (top == LB_ERR || height == LB_ERR || index < top) {
        fprintf(stderr, "entry %d is not shown\n", index);
        return 1;
    }
    RECT client;
    GetClientRect(list, &client);
    POINT middle = {client.right / 2, static_cast<LONG>((index - top) * height + height / 2)};
    ClientToScreen(list, &middle);
    printf("%ld %ld\n", middle.x, middle.y);
    return 0;
}

int PrintRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
}

// A program answers a message sent to its window only when it takes its messages.
int WaitForAnswer(HWND window) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMilliseconds, &result)) {
        fprintf(stderr, "the window did not answer\n");
        return 1;
    }
    return 0;
}

int WaitUntilGone(const char* caption) {
    const DWORD start = GetTickCount();
    do {
        if (FindWindowW(L"#32770", Wide(caption).c_str()) == nullptr) {
            return 0;
        }
        Sleep(kPollMilliseconds);
    } while (BeforeDeadline(start));
    fprintf(stderr, "\"%s\" is still there\n", caption);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "--utf8") == 0) {
        g_textCodepage = CP_UTF8;
        --argc;
        ++argv;
    }
    if (argc < 3) {
        fprintf(stderr,
                "usage: dialog_probe [--utf8] controls|list|message|center|item|rect|wait|answers|"
                "gone CAPTION [ID|INDEX]\n");
        return 2;
    }
    const std::string command = argv[1];
    const char* caption = argv[2];
    if (command == "gone") {
        return WaitUntilGone(caption);
    }
    HWND window = WaitForDialog(caption);
    if (window == nullptr) {
        fprintf(stderr, "no window \"%s\"\n", caption);
        return 1;
    }
    if (command == "wait") {
        return 0;
    }
    if (command == "answers") {
        return WaitForAnswer(window);
    }
    if (command == "rect") {
        return PrintRect(window);
    }
    if (command == "controls") {
        return PrintControls(window);
    }
    if (command == "list") {
        return PrintList(window);
    }
    if (command == "message") {
        return PrintMessageBox(window);
    }
    if (command == "center" && argc == 4) {
        return PrintCenter(window, atoi(argv[3]));
    }
    if (command == "item" && argc == 4) {
        return PrintItemCenter(window, atoi(argv[3]));
    }
    fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
