// The list view control (SysListView32): rows with a text and a state, one
// column, selection by the mouse (a click selects the row hit and a click
// beside the rows clears the selection; Ctrl toggles the row hit), and the
// click notifications to the parent with the row hit.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "w32/commctrl.h"
#include "w32/crt.h"
#include "w32/user.h"
#include "window/controls.h"

namespace {

constexpr int kRowHeight = 17;

struct Row {
    std::u16string text;
    UINT state = 0;
    LPARAM param = 0;
};

struct Column {
    int fmt = LVCFMT_LEFT;
    int width = 0;
    std::u16string text;
};

struct ListState {
    std::vector<Row> rows;
    std::vector<Column> columns;
    DWORD extendedStyle = 0;
    bool doubleClicked = false;  // the button-up that ends a double click notifies nothing
};

// The controls of the process; each is used on its own window's thread.
std::mutex& Lock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::map<HWND, std::shared_ptr<ListState>>& Lists() {
    static auto* lists = new std::map<HWND, std::shared_ptr<ListState>>;
    return *lists;
}

std::shared_ptr<ListState> StateOf(HWND hwnd) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Lists().find(hwnd);
    return it == Lists().end() ? nullptr : it->second;
}

bool SingleSelection(HWND hwnd) {
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & LVS_SINGLESEL) != 0;
}

int Width(HWND hwnd, const ListState& list) {
    if (!list.columns.empty() && list.columns[0].width > 0) {
        return list.columns[0].width;
    }
    RECT client = {};
    GetClientRect(hwnd, &client);
    return client.right - client.left;
}

int HitTest(HWND hwnd, const ListState& list, POINT point) {
    if (point.x < 0 || point.y < 0 || point.x >= Width(hwnd, list)) {
        return -1;
    }
    size_t row = static_cast<size_t>(point.y / kRowHeight);
    return row < list.rows.size() ? static_cast<int>(row) : -1;
}

void SetState(HWND hwnd, ListState& list, int index, UINT state, UINT mask) {
    auto apply = [&](Row& row) { row.state = (row.state & ~mask) | (state & mask); };
    if (index < 0) {
        for (Row& row : list.rows) {
            apply(row);
        }
        return;
    }
    if (static_cast<size_t>(index) >= list.rows.size()) {
        return;
    }
    // One selected and one focused row at most, where the style says so.
    for (size_t i = 0; i < list.rows.size(); ++i) {
        if (i == static_cast<size_t>(index)) {
            continue;
        }
        if ((mask & state & LVIS_SELECTED) && SingleSelection(hwnd)) {
            list.rows[i].state &= ~static_cast<UINT>(LVIS_SELECTED);
        }
        if (mask & state & LVIS_FOCUSED) {
            list.rows[i].state &= ~static_cast<UINT>(LVIS_FOCUSED);
        }
    }
    apply(list.rows[static_cast<size_t>(index)]);
}

int NextItem(const ListState& list, int start, UINT flags) {
    UINT wanted = 0;
    if (flags & LVNI_SELECTED)
        wanted |= LVIS_SELECTED;
    if (flags & LVNI_FOCUSED)
        wanted |= LVIS_FOCUSED;
    for (size_t i = static_cast<size_t>(start + 1); i < list.rows.size(); ++i) {
        if ((list.rows[i].state & wanted) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CopyText(const std::u16string& text, LPWSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    int count = std::min(static_cast<int>(text.size()), size - 1);
    text.copy(buffer, static_cast<size_t>(count));
    buffer[count] = 0;
    return count;
}

void Notify(HWND hwnd, UINT code, int item, POINT point, WPARAM keys) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) {
        return;
    }
    NMITEMACTIVATE note = {};
    note.hdr.hwndFrom = hwnd;
    note.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
    note.hdr.code = code;
    note.iItem = item;
    note.ptAction = point;
    note.uKeyFlags = (keys & MK_CONTROL ? LVKF_CONTROL : 0) | (keys & MK_SHIFT ? LVKF_SHIFT : 0);
    SendMessageW(parent, WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
}

// What a button press does to the selection.
void Press(HWND hwnd, ListState& list, POINT point, WPARAM keys) {
    SetFocus(hwnd);
    int item = HitTest(hwnd, list, point);
    if (keys & MK_CONTROL) {
        if (item >= 0) {
            UINT selected = list.rows[static_cast<size_t>(item)].state & LVIS_SELECTED;
            SetState(hwnd, list, item, LVIS_FOCUSED | (selected ? 0 : LVIS_SELECTED),
                     LVIS_FOCUSED | LVIS_SELECTED);
        }
        return;
    }
    if (item < 0) {
        SetState(hwnd, list, -1, 0, LVIS_SELECTED);
        return;
    }
    SetState(hwnd, list, -1, 0, LVIS_SELECTED);
    SetState(hwnd, list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

LRESULT Handle(HWND hwnd, ListState& list, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case LVM_GETITEMCOUNT:
            return static_cast<LRESULT>(list.rows.size());
        case LVM_DELETEALLITEMS:
            list.rows.clear();
            return TRUE;
        case LVM_DELETEITEM:
            if (wParam >= list.rows.size()) {
                return FALSE;
            }
            list.rows.erase(list.rows.begin() + static_cast<std::ptrdiff_t>(wParam));
            return TRUE;
        case LVM_INSERTCOLUMNW: {
            const auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
            if (column == nullptr) {
                return -1;
            }
            Column made;
            if (column->mask & LVCF_FMT)
                made.fmt = column->fmt;
            if (column->mask & LVCF_WIDTH)
                made.width = column->cx;
            if ((column->mask & LVCF_TEXT) && column->pszText != nullptr)
                made.text = column->pszText;
            size_t at = std::min(static_cast<size_t>(wParam), list.columns.size());
            list.columns.insert(list.columns.begin() + static_cast<std::ptrdiff_t>(at), made);
            return static_cast<LRESULT>(at);
        }
        case LVM_GETCOLUMNWIDTH:
            return wParam < list.columns.size() ? list.columns[wParam].width : 0;
        case LVM_SETCOLUMNWIDTH:
            if (wParam >= list.columns.size()) {
                return FALSE;
            }
            list.columns[wParam].width = static_cast<int>(static_cast<short>(LOWORD(lParam)));
            return TRUE;
        case LVM_INSERTITEMW: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            if (item == nullptr || item->iSubItem != 0 || item->iItem < 0) {
                return -1;
            }
            Row row;
            if ((item->mask & LVIF_TEXT) && item->pszText != nullptr)
                row.text = item->pszText;
            if (item->mask & LVIF_PARAM)
                row.param = item->lParam;
            size_t at = std::min(static_cast<size_t>(item->iItem), list.rows.size());
            list.rows.insert(list.rows.begin() + static_cast<std::ptrdiff_t>(at), row);
            if (item->mask & LVIF_STATE) {
                SetState(hwnd, list, static_cast<int>(at), item->state, item->stateMask);
            }
            return static_cast<LRESULT>(at);
        }
        case LVM_SETITEMTEXTW: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            if (item == nullptr || wParam >= list.rows.size() || item->iSubItem != 0) {
                return FALSE;
            }
            list.rows[wParam].text = item->pszText != nullptr ? item->pszText : u"";
            return TRUE;
        }
        case LVM_SETITEMSTATE: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            int index = static_cast<int>(static_cast<INT_PTR>(wParam));
            if (item == nullptr || (index >= 0 && static_cast<size_t>(index) >= list.rows.size())) {
                return FALSE;
            }
            SetState(hwnd, list, index, item->state, item->stateMask);
            return TRUE;
        }
        case LVM_GETITEMSTATE:
            return wParam < list.rows.size() ? list.rows[wParam].state & static_cast<UINT>(lParam)
                                             : 0;
        case LVM_GETNEXTITEM:
            return NextItem(list, static_cast<int>(static_cast<INT_PTR>(wParam)),
                            static_cast<UINT>(lParam));
        case LVM_GETSELECTEDCOUNT: {
            LRESULT count = 0;
            for (const Row& row : list.rows) {
                count += (row.state & LVIS_SELECTED) ? 1 : 0;
            }
            return count;
        }
        case LVM_GETITEMTEXTW: {
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (item == nullptr || wParam >= list.rows.size() || item->iSubItem != 0) {
                return 0;
            }
            return CopyText(list.rows[wParam].text, item->pszText, item->cchTextMax);
        }
        case LVM_GETITEMW: {
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (item == nullptr || item->iItem < 0 ||
                static_cast<size_t>(item->iItem) >= list.rows.size()) {
                return FALSE;
            }
            const Row& row = list.rows[static_cast<size_t>(item->iItem)];
            if (item->mask & LVIF_TEXT)
                CopyText(row.text, item->pszText, item->cchTextMax);
            if (item->mask & LVIF_STATE)
                item->state = row.state & item->stateMask;
            if (item->mask & LVIF_PARAM)
                item->lParam = row.param;
            return TRUE;
        }
        case LVM_GETITEMSPACING:
            return MAKELONG(Width(hwnd, list), kRowHeight);
        case LVM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (rect == nullptr || wParam >= list.rows.size()) {
                return FALSE;
            }
            int top = static_cast<int>(wParam) * kRowHeight;
            *rect = {0, top, Width(hwnd, list), top + kRowHeight};
            return TRUE;
        }
        case LVM_HITTEST: {
            auto* info = reinterpret_cast<LVHITTESTINFO*>(lParam);
            if (info == nullptr) {
                return -1;
            }
            info->iItem = HitTest(hwnd, list, info->pt);
            info->iSubItem = 0;
            info->flags = info->iItem >= 0 ? LVHT_ONITEMLABEL : LVHT_NOWHERE;
            return info->iItem;
        }
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            DWORD previous = list.extendedStyle;
            DWORD mask = wParam != 0 ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
            list.extendedStyle = (previous & ~mask) | (static_cast<DWORD>(lParam) & mask);
            return previous;
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            return list.extendedStyle;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            list.doubleClicked = false;
            Press(hwnd, list, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
            if (std::exchange(list.doubleClicked, false)) {
                return 0;
            }
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            Notify(hwnd, message == WM_LBUTTONUP ? NM_CLICK : NM_RCLICK, HitTest(hwnd, list, point),
                   point, wParam);
            return 0;
        }
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK: {
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            Press(hwnd, list, point, wParam);
            list.doubleClicked = true;
            Notify(hwnd, message == WM_LBUTTONDBLCLK ? NM_DBLCLK : NM_RDBLCLK,
                   HitTest(hwnd, list, point), point, wParam);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        std::lock_guard<std::mutex> guard(Lock());
        Lists()[hwnd] = std::make_shared<ListState>();
    } else if (message == WM_NCDESTROY) {
        std::lock_guard<std::mutex> guard(Lock());
        Lists().erase(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    std::shared_ptr<ListState> list = StateOf(hwnd);
    if (list == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return Handle(hwnd, *list, message, wParam, lParam);
}

}  // namespace

namespace w32::window {

WNDPROC ListViewProcedure() {
    return ListViewProc;
}

}  // namespace w32::window

W32API BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (picce == nullptr || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        return FALSE;
    }
    w32::window::RegisterStandardControls();
    return TRUE;
}
