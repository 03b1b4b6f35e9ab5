// One open virtual source: TWAIN states 4 (open) to 7 (transferring) as the
// standard gives them, its capabilities, its dialog, and the images of its
// scan runs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "page_images.h"
#include "source_description.h"
#include "source_dialog.h"
#include "twain.h"

namespace twain_dsm {

class VirtualSource final : private SourceDialog::Events {
public:
    VirtualSource(const SourceDescription& description, const TW_IDENTITY& identity);
    ~VirtualSource();
    VirtualSource(const VirtualSource&) = delete;
    VirtualSource& operator=(const VirtualSource&) = delete;

    const TW_IDENTITY& Identity() const { return identity; }
    int State() const { return state; }

    // A triplet sent to the source; sets the condition code on failure.
    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

private:
    TW_UINT16 Fail(TW_UINT16 conditionCode);
    // Writes a call that ends transfers or disables the source to the
    // session's journal; returns result.
    TW_UINT16 Journal(const char* message, int from, TW_UINT16 result);
    TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* capability);
    TW_UINT16 GetCapability(TW_UINT16 msg, TW_CAPABILITY* capability);
    TW_UINT16 SetCapability(TW_CAPABILITY* capability);
    TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui);
    TW_UINT16 Event(TW_UINT16 msg, TW_EVENT* event);
    TW_UINT16 PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending);
    TW_UINT16 ImageInfo(TW_UINT16 msg, TW_IMAGEINFO* info);
    TW_UINT16 NativeTransfer(TW_UINT16 msg, TW_HANDLE* image);
    TW_UINT16 Status(TW_UINT16 msg, TW_STATUS* status);

    void OnScanPressed() override;
    void OnClosePressed() override;

    // The page that the next transfer delivers, rendered on first need.
    const PageImage* CurrentPage();
    bool IsFaultyPage() const;
    void NextPage();
    // The run is over (no transfer pending): back to state 5.
    void EndRun();
    void PostEvent(TW_UINT16 message);
    // Lets the thread's messages through while the device works, as a
    // driver with a progress display does.
    void PumpMessages();
    std::u16string Title() const;

    SourceDescription description;
    TW_IDENTITY identity;
    int state = 4;
    TW_UINT16 condition = TWCC_SUCCESS;
    CapValue xResolution;
    CapValue yResolution;
    int xferCount = -1;
    // The run: pages still to transfer, and the number of the next one (from 1).
    int pending = 0;
    int pageNumber = 0;
    std::optional<PageImage> page;
    bool pageUnreadable = false;
    // The user interface.
    SourceDialog dialog;
    HWND parent = nullptr;
    bool parentDisabled = false;
    UINT eventMessage = 0;
    bool inCall = false;
};

}  // namespace twain_dsm
