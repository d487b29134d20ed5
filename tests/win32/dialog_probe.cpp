// Reads another process's dialog or message box under the same Wine server and prints it.
//
//   dialog_probe controls CAPTION   the dialog's style and every child window in Z (= template)
//                                   order: class, id, style, position and size in dialog
//                                   units, text
//   dialog_probe list CAPTION       each list box entry: 1 when selected, else 0, a tab, the text
//   dialog_probe message CAPTION    a message box: its owner's caption, its text, its buttons
//   dialog_probe center CAPTION ID  the screen coordinates of the middle of control ID
//   dialog_probe item CAPTION INDEX the screen coordinates of the middle of list entry INDEX
//   dialog_probe wait CAPTION       only waits for the window
//   dialog_probe gone CAPTION       waits until no window has that caption
//
// Every command first waits (up to kWaitMilliseconds) for a visible "#32770" window with the
// caption. Exit code 0 on success, 1 when the window never came (or never went), 2 for usage.
// A command reads the window once: the caller waits for the state it expects by asking again.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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
constexpr size_t kTextChars = 1024;

HWND FindDialog(const char* caption) {
    HWND window = FindWindowA("#32770", caption);
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
    char text[kTextChars] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_NORMAL, kWaitMilliseconds, &copied)) {
        return "<no answer>";
    }
    std::string escaped;
    for (const char* c = text; *c != '\0'; ++c) {
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
        char text[kTextChars] = {};
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
        const LRESULT selected = SendMessageW(list, LB_GETSEL, i, 0);
        printf("%d\t%s\n", selected > 0 ? 1 : 0, text);
    }
    return 0;
}

int PrintMessageBox(HWND box) {
    char ownerCaption[kTextChars] = {};
    HWND owner = GetWindow(box, GW_OWNER);
    if (owner != nullptr) {
        GetWindowTextA(owner, ownerCaption, sizeof ownerCaption);
    }
    printf("owner=\"%s\"\n", ownerCaption);
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

int WaitUntilGone(const char* caption) {
    const DWORD start = GetTickCount();
    do {
        if (FindWindowA("#32770", caption) == nullptr) {
            return 0;
        }
        Sleep(kPollMilliseconds);
    } while (BeforeDeadline(start));
    fprintf(stderr, "\"%s\" is still there\n", caption);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(
            stderr,
            "usage: dialog_probe controls|list|message|center|item|wait|gone CAPTION [ID|INDEX]\n");
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
