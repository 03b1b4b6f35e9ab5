// The plug-in <-> agent records as the receiving side reads them: any bytes
// as a request and as an answer, and an answer through the plug-ins' channel
// window up to the point where it is handed out.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "plugins/channel/process_message.h"
#include "protocol/records.h"

namespace {

using vexlo::fuzz::Require;

struct Channel {
    vexlo::ChannelPtr window = vexlo::CProcessMessage::Open();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vexlo::PluginRequest request;
    if (vexlo::DecodeRequest(data, size, &request)) {
        // An unterminated field reads whole, never past its end.
        Require(vexlo::ReadField(request.apiKey).size() <= vexlo::kApiKeyLength);
        Require(vexlo::ReadField(request.printingRequest).size() <= vexlo::kPrintingRequestLength);
    }
    vexlo::AgentAnswer answer;
    if (vexlo::DecodeAnswer(data, size, &answer)) {
        std::u16string text = vexlo::ReadField(answer.text);
        Require(text.size() <= vexlo::kAnswerTextLength);
        // What the agent would send with this text reads back the same; a
        // text that fills the field goes out empty.
        vexlo::AgentAnswer again = vexlo::MakeAnswer(answer.state, answer.info, text.c_str());
        bool fits = text.size() < vexlo::kAnswerTextLength;
        Require(vexlo::ReadField(again.text) == (fits ? text : std::u16string()));
    }
    // A record as it reaches the plug-in's window, cut anywhere.
    COPYDATASTRUCT copy = {};
    copy.cbData = static_cast<DWORD>(size);
    copy.lpData = size == 0 ? nullptr : const_cast<uint8_t*>(data);
    vexlo::CProcessMessage& channel = *vexlo::fuzz::Kept<Channel>().window;
    SendMessageW(channel.m_hWnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    channel.OnTimer(vexlo::CProcessMessage::kAnswerTimerId);
    Require(channel.LastSelectedScanner().size() <= vexlo::kAnswerTextLength);
    return 0;
}
