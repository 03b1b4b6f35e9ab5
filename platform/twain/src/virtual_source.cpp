#include "virtual_source.h"

#include <algorithm>

#include "containers.h"
#include "session_files.h"
#include "text.h"

namespace twain_dsm {
namespace {

constexpr TW_UINT16 kSupportedCaps[] = {CAP_XFERCOUNT,    ICAP_XRESOLUTION, ICAP_YRESOLUTION,
                                        ICAP_PIXELTYPE,   ICAP_XFERMECH,    ICAP_UNITS,
                                        CAP_SUPPORTEDCAPS};

CapValue Whole(int value) {
    return CapValue{value, 0};
}

// The value a source starts with: the described one when the container
// allows it, else the container's first (for a range its minimum).
CapValue Initial(const CapContainer& container, const std::optional<CapValue>& wanted) {
    if (wanted && Allows(container, *wanted)) {
        return *wanted;
    }
    return container.values.empty() ? Whole(0) : container.values.front();
}

CapValue DefaultOf(const CapContainer& container) {
    return container.values.empty() ? Whole(0) : container.values.front();
}

bool IsResolution(TW_UINT16 cap) {
    return cap == ICAP_XRESOLUTION || cap == ICAP_YRESOLUTION;
}

// Marks the object busy while one of its calls runs, so that a call that
// arrives re-entrantly (from the messages the source lets through) is told
// apart.
class CallScope {
public:
    explicit CallScope(bool& flag) : flag(flag) { flag = true; }
    ~CallScope() { flag = false; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    bool& flag;
};

}  // namespace

VirtualSource::VirtualSource(const SourceDescription& description, const TW_IDENTITY& identity)
    : description(description), identity(identity), dialog(*this) {
    xResolution = Initial(description.xResolution, description.resolution);
    yResolution = Initial(description.yResolution, description.resolution);
    eventMessage = RegisterWindowMessageW(u"TWAIN_32 source event");
}

VirtualSource::~VirtualSource() {
    dialog.Destroy();
    if (parentDisabled && IsWindow(parent)) {
        EnableWindow(parent, TRUE);
    }
}

TW_UINT16 VirtualSource::Fail(TW_UINT16 conditionCode) {
    condition = conditionCode;
    return TWRC_FAILURE;
}

TW_UINT16 VirtualSource::Journal(const char* message, int from, TW_UINT16 result) {
    JournalSourceCall(identity.Id, message, from, result == TWRC_SUCCESS ? state : 0, condition);
    return result;
}

TW_UINT16 VirtualSource::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dg == DG_CONTROL && dat == DAT_STATUS) {
        return Status(msg, static_cast<TW_STATUS*>(data));
    }
    if (inCall) {
        // A call from inside one of the source's own: events are not the
        // source's then, anything else is out of sequence.
        if (dg == DG_CONTROL && dat == DAT_EVENT && data != nullptr) {
            static_cast<TW_EVENT*>(data)->TWMessage = MSG_NULL;
            return TWRC_NOTDSEVENT;
        }
        return Fail(TWCC_SEQERROR);
    }
    if (data == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    CallScope scope(inCall);
    if (dg == DG_CONTROL) {
        switch (dat) {
            case DAT_CAPABILITY:
                return Capability(msg, static_cast<TW_CAPABILITY*>(data));
            case DAT_EVENT:
                return Event(msg, static_cast<TW_EVENT*>(data));
            case DAT_PENDINGXFERS:
                return PendingTransfers(msg, static_cast<TW_PENDINGXFERS*>(data));
            case DAT_USERINTERFACE:
                return UserInterface(msg, static_cast<TW_USERINTERFACE*>(data));
            default:
                break;
        }
    } else if (dg == DG_IMAGE) {
        switch (dat) {
            case DAT_IMAGEINFO:
                return ImageInfo(msg, static_cast<TW_IMAGEINFO*>(data));
            case DAT_IMAGENATIVEXFER:
                return NativeTransfer(msg, static_cast<TW_HANDLE*>(data));
            default:
                break;
        }
    }
    return Fail(TWCC_BADPROTOCOL);
}

// Capabilities.

TW_UINT16 VirtualSource::Capability(TW_UINT16 msg, TW_CAPABILITY* capability) {
    switch (msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT:
            return GetCapability(msg, capability);
        case MSG_SET:
            // Capabilities are negotiated in state 4 only.
            if (state != 4) {
                return Fail(TWCC_SEQERROR);
            }
            return SetCapability(capability);
        case MSG_RESET:
            if (state != 4) {
                return Fail(TWCC_SEQERROR);
            }
            if (capability->Cap == CAP_XFERCOUNT) {
                xferCount = -1;
            } else if (capability->Cap == ICAP_XRESOLUTION) {
                xResolution = DefaultOf(description.xResolution);
            } else if (capability->Cap == ICAP_YRESOLUTION) {
                yResolution = DefaultOf(description.yResolution);
            }
            return GetCapability(MSG_GET, capability);
        default:
            return Fail(TWCC_CAPBADOPERATION);
    }
}

TW_UINT16 VirtualSource::GetCapability(TW_UINT16 msg, TW_CAPABILITY* capability) {
    HGLOBAL container = nullptr;
    TW_UINT16 conType = TWON_ONEVALUE;
    switch (capability->Cap) {
        case CAP_XFERCOUNT:
            container = MakeOneValue(TWTY_INT16, Whole(msg == MSG_GETDEFAULT ? -1 : xferCount));
            break;
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION: {
            const CapContainer& described = capability->Cap == ICAP_XRESOLUTION
                                                ? description.xResolution
                                                : description.yResolution;
            if (!described.supported) {
                return Fail(TWCC_CAPUNSUPPORTED);
            }
            const CapValue& current =
                capability->Cap == ICAP_XRESOLUTION ? xResolution : yResolution;
            if (msg == MSG_GET) {
                conType = described.conType;
                container = MakeContainer(described, current, DefaultOf(described));
            } else {
                container = MakeOneValue(described.itemType,
                                         msg == MSG_GETDEFAULT ? DefaultOf(described) : current);
            }
            break;
        }
        case ICAP_PIXELTYPE: {
            int bits = description.Page(0).bitsPerPixel;
            int type = bits == 1 ? TWPT_BW : bits == 8 ? TWPT_GRAY : TWPT_RGB;
            container = MakeOneValue(TWTY_UINT16, Whole(type));
            break;
        }
        case ICAP_XFERMECH:
            container = MakeOneValue(TWTY_UINT16, Whole(TWSX_NATIVE));
            break;
        case ICAP_UNITS:
            container = MakeOneValue(TWTY_UINT16, Whole(TWUN_INCHES));
            break;
        case CAP_SUPPORTEDCAPS: {
            CapContainer caps;
            caps.conType = TWON_ARRAY;
            caps.itemType = TWTY_UINT16;
            for (TW_UINT16 cap : kSupportedCaps) {
                caps.values.push_back(Whole(cap));
            }
            conType = TWON_ARRAY;
            container = MakeContainer(caps, Whole(0), Whole(0));
            break;
        }
        default:
            return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (container == nullptr) {
        return Fail(TWCC_LOWMEMORY);
    }
    capability->ConType = conType;
    capability->hContainer = container;
    return TWRC_SUCCESS;
}

TW_UINT16 VirtualSource::SetCapability(TW_CAPABILITY* capability) {
    std::optional<ItemValue> item = ReadOneValue(*capability);
    bool known = capability->Cap == CAP_XFERCOUNT || IsResolution(capability->Cap) ||
                 capability->Cap == ICAP_XFERMECH || capability->Cap == ICAP_UNITS ||
                 capability->Cap == ICAP_PIXELTYPE || capability->Cap == CAP_SUPPORTEDCAPS;
    if (!known) {
        return Fail(TWCC_CAPUNSUPPORTED);
    }
    if (!item) {
        return Fail(TWCC_BADVALUE);
    }
    const CapValue& value = item->value;
    switch (capability->Cap) {
        case CAP_XFERCOUNT: {
            // A TW_INT16 capability: a strict source takes no other item type.
            if (item->itemType != TWTY_INT16 || (value.whole != -1 && value.whole < 1)) {
                return Fail(TWCC_BADVALUE);
            }
            int wanted = value.whole == -1 ? -1 : std::min(value.whole, 32767);
            if (description.xferLimit > 0 && (wanted == -1 || wanted > description.xferLimit)) {
                xferCount = description.xferLimit;
                return TWRC_CHECKSTATUS;
            }
            xferCount = wanted;
            return TWRC_SUCCESS;
        }
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION: {
            bool x = capability->Cap == ICAP_XRESOLUTION;
            const CapContainer& described = x ? description.xResolution : description.yResolution;
            if (!described.supported) {
                return Fail(TWCC_CAPUNSUPPORTED);
            }
            // A TW_FIX32 capability: a strict source takes no other item type
            // (an integer's bits would read as another value).
            if (item->itemType != TWTY_FIX32 || !Allows(described, value)) {
                return Fail(TWCC_BADVALUE);
            }
            (x ? xResolution : yResolution) = value;
            return TWRC_SUCCESS;
        }
        case ICAP_XFERMECH:
            return value.whole == TWSX_NATIVE ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
        case ICAP_UNITS:
            return value.whole == TWUN_INCHES ? TWRC_SUCCESS : Fail(TWCC_BADVALUE);
        default:
            return Fail(TWCC_CAPBADOPERATION);  // read-only
    }
}

// The user interface and its events.

TW_UINT16 VirtualSource::UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
    switch (msg) {
        case MSG_ENABLEDS: {
            if (state != 4) {
                return Fail(TWCC_SEQERROR);
            }
            if (description.failEnable) {
                return Fail(TWCC_BUMMER);
            }
            parent = static_cast<HWND>(ui->hParent);
            if (!dialog.Show(parent, Title())) {
                return Fail(TWCC_LOWMEMORY);
            }
            if (ui->ModalUI && parent != nullptr && IsWindowEnabled(parent)) {
                EnableWindow(parent, FALSE);
                parentDisabled = true;
            }
            state = 5;
            // This source has no way to scan without its dialog: it shows it
            // anyway and says so.
            return ui->ShowUI ? TWRC_SUCCESS : TWRC_CHECKSTATUS;
        }
        case MSG_DISABLEDS:
            if (state != 5) {
                return Journal("MSG_DISABLEDS", state, Fail(TWCC_SEQERROR));
            }
            if (description.failDisable) {
                return Journal("MSG_DISABLEDS", state, Fail(TWCC_BUMMER));
            }
            dialog.Destroy();
            if (parentDisabled && IsWindow(parent)) {
                EnableWindow(parent, TRUE);
            }
            parentDisabled = false;
            state = 4;
            return Journal("MSG_DISABLEDS", 5, TWRC_SUCCESS);
        default:
            return Fail(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 VirtualSource::Event(TW_UINT16 msg, TW_EVENT* event) {
    if (msg != MSG_PROCESSEVENT) {
        return Fail(TWCC_BADPROTOCOL);
    }
    event->TWMessage = MSG_NULL;
    auto* message = static_cast<MSG*>(event->pEvent);
    if (state < 5 || message == nullptr || !dialog.Owns(message->hwnd)) {
        return TWRC_NOTDSEVENT;
    }
    if (message->message == eventMessage) {
        TW_UINT16 posted = static_cast<TW_UINT16>(message->wParam);
        if (posted == MSG_XFERREADY && state == 5) {
            pending = xferCount > 0 ? std::min(description.pages, xferCount) : description.pages;
            pageNumber = 1;
            page.reset();
            pageUnreadable = false;
            state = 6;
            event->TWMessage = MSG_XFERREADY;
        } else if (posted == MSG_CLOSEDSREQ) {
            event->TWMessage = MSG_CLOSEDSREQ;
        }
        return TWRC_DSEVENT;
    }
    if (message->message == WM_KEYDOWN) {
        IsDialogMessageW(dialog.Window(), message);
    }
    return TWRC_DSEVENT;
}

void VirtualSource::OnScanPressed() {
    if (state == 5) {
        dialog.SetBusy(true, u"Scanning...");
        PostEvent(MSG_XFERREADY);
    }
}

void VirtualSource::OnClosePressed() {
    if (state >= 5) {
        PostEvent(MSG_CLOSEDSREQ);
    }
}

void VirtualSource::PostEvent(TW_UINT16 message) {
    if (dialog.IsShown()) {
        PostMessageW(dialog.Window(), eventMessage, message, 0);
    }
}

// Transfers.

const PageImage* VirtualSource::CurrentPage() {
    if (!page && !pageUnreadable) {
        page = RenderPage(description.Page(pageNumber - 1), pageNumber);
        pageUnreadable = !page.has_value();
    }
    return page ? &*page : nullptr;
}

bool VirtualSource::IsFaultyPage() const {
    return (description.transferCancel || description.transferFailure) &&
           pageNumber == description.failPage;
}

void VirtualSource::NextPage() {
    ++pageNumber;
    page.reset();
    pageUnreadable = false;
}

TW_UINT16 VirtualSource::ImageInfo(TW_UINT16 msg, TW_IMAGEINFO* info) {
    if (msg != MSG_GET) {
        return Fail(TWCC_BADPROTOCOL);
    }
    if (state != 6 && state != 7) {
        return Fail(TWCC_SEQERROR);
    }
    if (description.failImageInfo) {
        return Fail(TWCC_BUMMER);
    }
    const PageImage* current = CurrentPage();
    if (current == nullptr) {
        return Fail(TWCC_OPERATIONERROR);
    }
    *info = DescribePage(*current, xResolution, yResolution);
    return TWRC_SUCCESS;
}

TW_UINT16 VirtualSource::NativeTransfer(TW_UINT16 msg, TW_HANDLE* image) {
    if (msg != MSG_GET) {
        return Fail(TWCC_BADPROTOCOL);
    }
    if (state != 6) {
        return Fail(TWCC_SEQERROR);
    }
    *image = nullptr;
    dialog.SetBusy(true, u"Scanning page " + Wide(std::to_string(pageNumber)) + u"...");
    if (description.pumpDuringTransfer) {
        PumpMessages();
    }
    if (IsFaultyPage() && description.transferCancel) {
        state = 7;
        return TWRC_CANCEL;
    }
    if (IsFaultyPage() && description.transferFailure) {
        return Fail(TWCC_OPERATIONERROR);
    }
    const PageImage* current = CurrentPage();
    if (current == nullptr) {
        return Fail(TWCC_OPERATIONERROR);
    }
    HGLOBAL dib = MakeDib(*current, xResolution, yResolution);
    if (dib == nullptr) {
        return Fail(TWCC_LOWMEMORY);
    }
    *image = dib;
    state = 7;
    return TWRC_XFERDONE;
}

TW_UINT16 VirtualSource::PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* transfers) {
    transfers->EOJ = 0;
    switch (msg) {
        case MSG_ENDXFER: {
            const int from = state;
            if (state != 6 && state != 7) {
                return Journal("MSG_ENDXFER", from, Fail(TWCC_SEQERROR));
            }
            pending = std::max(0, pending - 1);
            NextPage();
            if (pending == 0) {
                EndRun();
            } else {
                state = 6;
                if (description.pumpDuringFeed) {
                    PumpMessages();  // the next sheet is fed
                }
            }
            transfers->Count = static_cast<TW_UINT16>(pending);
            return Journal("MSG_ENDXFER", from, TWRC_SUCCESS);
        }
        case MSG_RESET:
            if (state != 6) {
                return Journal("MSG_RESET", state, Fail(TWCC_SEQERROR));
            }
            EndRun();
            transfers->Count = 0;
            return Journal("MSG_RESET", 6, TWRC_SUCCESS);
        case MSG_GET:
            transfers->Count = static_cast<TW_UINT16>(state >= 6 ? pending : 0);
            return TWRC_SUCCESS;
        default:
            return Fail(TWCC_BADPROTOCOL);
    }
}

void VirtualSource::EndRun() {
    pending = 0;
    page.reset();
    pageUnreadable = false;
    state = 5;
    dialog.SetBusy(false, u"Ready");
    if (!description.keepOpen) {
        PostEvent(MSG_CLOSEDSREQ);
    }
}

TW_UINT16 VirtualSource::Status(TW_UINT16 msg, TW_STATUS* status) {
    if (msg != MSG_GET || status == nullptr) {
        return Fail(TWCC_BADPROTOCOL);
    }
    status->ConditionCode = condition;
    status->Reserved = 0;
    condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

void VirtualSource::PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the application's own loop
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::u16string VirtualSource::Title() const {
    return Wide(description.productName);
}

}  // namespace twain_dsm
