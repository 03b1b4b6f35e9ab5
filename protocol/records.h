// The one contract between the agent and both plug-ins: the request record a
// plug-in sends, the answer record the agent sends back, their codes, and the
// names the three deliverables share. Both records travel as WM_COPYDATA,
// little-endian, zero-filled before any field is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexlo {

inline constexpr size_t kApiKeyLength = 512;            // UTF-16 units, terminator included
inline constexpr size_t kPrintingRequestLength = 2048;  // UTF-16 units, terminator included
inline constexpr size_t kAnswerTextLength = 2048;       // UTF-16 units, terminator included

struct PluginRequest {
    int32_t code;
    char16_t apiKey[kApiKeyLength];
    int32_t messageId;
    char16_t printingRequest[kPrintingRequestLength];
    // Scan type for a scan, scanner interface for 101 and 106, scan mode for 103.
    int32_t param;
    // The new job for a scan, the job to stop for a stop.
    int32_t jobId;
};

struct AgentAnswer {
    int32_t state;
    int32_t info;
    char16_t text[kAnswerTextLength];
};

// The byte layout on the wire; the host is little-endian like the wire.
static_assert(sizeof(PluginRequest) == 5136);
static_assert(offsetof(PluginRequest, apiKey) == 4);
static_assert(offsetof(PluginRequest, messageId) == 1028);
static_assert(offsetof(PluginRequest, printingRequest) == 1032);
static_assert(offsetof(PluginRequest, param) == 5128);
static_assert(offsetof(PluginRequest, jobId) == 5132);
static_assert(sizeof(AgentAnswer) == 4104);
static_assert(offsetof(AgentAnswer, info) == 4);
static_assert(offsetof(AgentAnswer, text) == 8);

// Request codes.
enum RequestCode : int32_t {
    kRequestScan = 100,
    kRequestSelectScanner = 101,
    kRequestPrint = 102,
    kRequestSetScanMode = 103,
    kRequestStopScan = 104,
    kRequestGetScanMode = 105,
    kRequestGetSelectedScanner = 106,
};

// Answer states of a scan.
enum ScanState : int32_t {
    kStateAgentUnreachable = -1,  // reported by the plug-in channel itself
    kStateImageInfo = 1,
    kStateAcquired = 2,
    kStateProcessing = 3,
    kStateUploading = 4,  // page made (info 0) and upload progress (info the per cent)
    kStateUploaded = 5,
    kStateJobDone = 6,
    kStateNoScanner = -2,
    kStateBusy = -3,
    kStateUploadFailed = -4,
    kStateFailed = -5,
    kStateDialogCancelled = -8,
    kStateInterfaceFailed = -9,
    kStateDeviceNotConnected = -10,
};

// Answer states of a print.
enum PrintState : int32_t {
    kPrintLoading = 1,
    kPrintLoaded = 2,
    kPrintPrinted = 3,
    kPrintFailed = -5,
    kPrintRenderFailed = -6,
    kPrintNoPages = -7,
    kPrintNotConfirmed = -8,
};

// Replies carry the request's code as their state.
enum ReplyState : int32_t {
    kReplySelectedScanner = 101,
    kReplyScanMode = 105,
    kReplyGetSelectedScanner = 106,
};

// Scanner interfaces (param of 101 and 106) and scan modes (param of 103).
inline constexpr int32_t kInterfaceWia = 2;
inline constexpr int32_t kInterfaceTwain = 3;
inline constexpr int32_t kScanModeAutomatic = 1;
inline constexpr int32_t kScanModeWia = 2;
inline constexpr int32_t kScanModeTwain = 3;
inline constexpr int32_t kScanTypeGrey = 1;
inline constexpr int32_t kScanTypeColour = 2;

// The agent's main window class, by which the plug-ins find it.
inline constexpr const char16_t* kAgentWindowClass = u"VexloDesktopClass";
inline constexpr const char16_t* kAgentProgram = u"agent_vexlo.exe";

// Registered window messages.
inline constexpr const char16_t* kDesktopMessageName = u"WM_VEXLO_DESKTOP_MESSAGE";
inline constexpr const char16_t* kAppInterMessageName = u"WM_VEXLO_APP_INTER_MESSAGE";
inline constexpr const char16_t* kInterWiaMessageName = u"WM_VEXLO_INTER_WIA_MESSAGE";
inline constexpr const char16_t* kInterDesktopMessageName = u"WM_VEXLO_INTER_DESKTOP_MESSAGE";
// wParam of the agent's start broadcast; lParam is the agent's process id.
inline constexpr uintptr_t kStartBroadcastWParam = 0x666;
// wParam of the scanners' own messages.
inline constexpr uintptr_t kScannerMessageScan = 100;
inline constexpr uintptr_t kScannerMessageSelect = 101;

// A request with every byte zero.
PluginRequest CreateEmptyRequest();
// An answer as the agent sends it: zero-filled, text copied only when it is
// shorter than 2048 characters (a longer or a null text goes out empty).
AgentAnswer MakeAnswer(int32_t state, int32_t info, const char16_t* text);

// Writes text into a string field without a terminator, which comes from the
// zero fill: at most capacity - 1 units are written. False when the text was
// cut.
bool WriteField(char16_t* field, size_t capacity, const std::u16string& text);
template <size_t N>
bool WriteField(char16_t (&field)[N], const std::u16string& text) {
    return WriteField(field, N, text);
}
// Reads a string field up to its terminator, never past the end of the field.
std::u16string ReadField(const char16_t* field, size_t capacity);
template <size_t N>
std::u16string ReadField(const char16_t (&field)[N]) {
    return ReadField(field, N);
}

// Copies a received record out of WM_COPYDATA data. Data that is missing or
// shorter than the record is refused; bytes beyond the record are ignored.
bool DecodeRequest(const void* data, size_t size, PluginRequest* out);
bool DecodeAnswer(const void* data, size_t size, AgentAnswer* out);

}  // namespace vexlo
