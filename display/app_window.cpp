#include "display/app_window.h"

#include "support/memory/block_pool.h"
#include "support/memory/object_table.h"
#include "display/backend.h"
#include "display/screen.h"

namespace {

struct WindowRecord {
    NativeWindow handle;  // first: the record is live while it is non-zero
};

struct EventNode {
    QueuedEvent event;
    EventNode* next;
};

constexpr int32_t WindowTableSlots = 16;
constexpr int32_t MaxSide = 16384;
constexpr uint32_t WsCaption = 0x00C00000;
constexpr uint32_t WsMinimize = 0x20000000, WsMaximize = 0x01000000, WsMinimizeBox = 0x00020000,
                   WsMaximizeBox = 0x00010000;
constexpr uint32_t OwnBits = AppWindow::CentreOnScreen | AppWindow::CentreOnParent |
                             AppWindow::ToolWindow | AppWindow::NoControlList |
                             AppWindow::StartHidden;

ObjectTable* windows = nullptr;
BlockPool* eventPool = nullptr;
EventNode* head = nullptr;
EventNode* tail = nullptr;
QueuedEvent currentEvent{};

void EnsureStarted() {
    if (!windows) windows = ObjectTable::Create(sizeof(WindowRecord), WindowTableSlots, AppWindow::Close);
    if (!eventPool) eventPool = BlockPool::Create(sizeof(EventNode), 16, 65536, BlockPool::Shared);
}

WindowRecord* Live(int32_t number) {
    return static_cast<WindowRecord*>(ObjectTable::Lookup(windows, number));
}

// The module's number of a platform window, or -1 (no valid number: -1
// only ever asks for a new window).
int32_t NumberOf(NativeWindow handle) {
    if (!windows || !handle) return -1;
    for (int32_t number = 0; number < windows->slotCount; ++number) {
        WindowRecord* record = Live(number);
        if (record && record->handle == handle) return number;
    }
    for (int32_t id = -2; id > windows->nextIdentifier; --id) {
        WindowRecord* record = Live(id);
        if (record && record->handle == handle) return id;
    }
    return -1;
}

void DropEventsOf(int32_t number) {
    EventNode* previous = nullptr;
    EventNode* node = head;
    while (node) {
        EventNode* next = node->next;
        if (node->event.window == number) {
            if (previous) previous->next = next;
            else head = next;
            if (tail == node) tail = previous;
            BlockPool::Free(node);
        } else {
            previous = node;
        }
        node = next;
    }
}

}  // namespace

namespace AppWindow {

void Startup() { EnsureStarted(); }

void Shutdown() {
    Close(-1);
    ObjectTable::Destroy(windows);
    windows = nullptr;
    while (head) {
        EventNode* next = head->next;
        BlockPool::Free(head);
        head = next;
    }
    tail = nullptr;
    if (eventPool) BlockPool::Release(eventPool);
    eventPool = nullptr;
    currentEvent = QueuedEvent{};
}

int32_t Open(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
             const char* title, uint32_t flags, NativeWindow parent) {
    EnsureStarted();
    if (width < 1 || width > MaxSide || height < 1 || height > MaxSide) return 0;
    int32_t identifier = 0;
    auto* record = static_cast<WindowRecord*>(ObjectTable::Obtain(windows, number, &identifier));
    if (!record) return 0;
    int32_t key = number == ObjectTable::NewUnnumbered ? identifier : number;

    uint32_t style = flags & ~OwnBits;
    if (style == 0) style |= WsCaption;
    if (flags & ToolWindow) {
        style &= ~(WsMinimize | WsMaximize | WsMinimizeBox | WsMaximizeBox);
        style |= WsCaption;
    }
    DisplayBackend::WindowSpec request{};
    request.x = x;
    request.y = y;
    request.clientWidth = width;
    request.clientHeight = height;
    request.title = title ? title : "";
    request.style = style;
    request.defaultPosition =
        x == DefaultPosition || (y == DefaultPosition && !(flags & (CentreOnScreen | CentreOnParent)));
    request.centreOnScreen = (flags & CentreOnScreen) ? 1 : 0;
    request.toolWindow = (flags & ToolWindow) ? 1 : 0;
    request.hidden = (flags & StartHidden) ? 1 : 0;
    request.parent = parent;

    NativeWindow handle = DisplayBackend::OpenWindow(request);
    if (!handle) {
        ObjectTable::Free(windows, key);
        return 0;
    }
    record->handle = handle;
    if (number == ObjectTable::NewUnnumbered) return identifier;
    // A handle whose low half is zero must still read as success.
    int32_t result = static_cast<int32_t>(handle);
    return result != 0 ? result : 1;
}

int32_t Exists(int32_t number) { return Live(number) ? 1 : 0; }

NativeWindow NativeHandle(int32_t number) {
    WindowRecord* record = Live(number);
    return record ? record->handle : 0;
}

int32_t PollEvent() {
    if (head) {
        EventNode* node = head;
        head = node->next;
        if (!head) tail = nullptr;
        currentEvent = node->event;
        BlockPool::Free(node);
        return currentEvent.number;
    }
    DisplayBackend::Message message{};
    if (!DisplayBackend::PollMessage(&message)) return 0;
    // Dispatch: what it posts is returned by the following polls.
    if (message.kind == DisplayBackend::MessageCloseRequest) {
        int32_t number = NumberOf(message.window);
        if (number != -1) PostEvent(QueuedEvent{CloseRequest, number, number, 0, 0, 0});
    } else if (message.kind == DisplayBackend::MessageRepaint) {
        Screen::RepaintWindow(message.window);
    }
    currentEvent = QueuedEvent{message.number, 0, 0, 0, 0, 0};
    return message.number;
}

int32_t WaitForInput(int32_t timeoutMs) {
    // A queued event (a close request posted by the last poll) is for the
    // very next poll: no waiting before it.
    if (head) return 1;
    return DisplayBackend::WaitForInput(timeoutMs < 0 ? 0 : timeoutMs);
}

const QueuedEvent& CurrentEvent() { return currentEvent; }

void Close(int32_t number) {
    if (!windows) return;
    if (number == -1) {
        ObjectTable::FreeAll(windows);
        return;
    }
    WindowRecord* record = Live(number);
    if (!record) return;
    NativeWindow handle = record->handle;
    // The windowed screen lives in the window; it goes first.
    if (Screen::State().open && Screen::State().windowed && Screen::State().deviceWindow == handle)
        Screen::Close();
    DisplayBackend::CloseWindow(handle);
    DropEventsOf(number);
    ObjectTable::Free(windows, number);
}

void PostEvent(const QueuedEvent& event) {
    if (tail && event.number < 65536 && tail->event.number == event.number &&
        tail->event.object == event.object && tail->event.window == event.window &&
        tail->event.data == event.data)
        return;
    EnsureStarted();
    auto* node = static_cast<EventNode*>(BlockPool::Allocate(eventPool));
    if (!node) return;
    node->event = event;
    node->next = nullptr;
    if (tail) tail->next = node;
    else head = node;
    tail = node;
}

}  // namespace AppWindow
