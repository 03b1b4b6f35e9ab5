#include "protocol/records.h"

#include <cstring>

namespace vexlo {

PluginRequest CreateEmptyRequest() {
    PluginRequest request;
    std::memset(&request, 0, sizeof(request));
    return request;
}

AgentAnswer MakeAnswer(int32_t state, int32_t info, const char16_t* text) {
    AgentAnswer answer;
    std::memset(&answer, 0, sizeof(answer));
    answer.state = state;
    answer.info = info;
    if (text != nullptr) {
        size_t length = 0;
        while (length < kAnswerTextLength && text[length] != 0) {
            ++length;
        }
        if (length < kAnswerTextLength) {
            std::memcpy(answer.text, text, length * sizeof(char16_t));
        }
    }
    return answer;
}

bool WriteField(char16_t* field, size_t capacity, const std::u16string& text) {
    if (capacity == 0) {
        return text.empty();
    }
    size_t count = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(field, text.data(), count * sizeof(char16_t));
    return count == text.size();
}

std::u16string ReadField(const char16_t* field, size_t capacity) {
    size_t length = 0;
    while (length < capacity && field[length] != 0) {
        ++length;
    }
    return std::u16string(field, length);
}

bool DecodeRequest(const void* data, size_t size, PluginRequest* out) {
    if (data == nullptr || out == nullptr || size < sizeof(PluginRequest)) {
        return false;
    }
    std::memcpy(out, data, sizeof(PluginRequest));
    return true;
}

bool DecodeAnswer(const void* data, size_t size, AgentAnswer* out) {
    if (data == nullptr || out == nullptr || size < sizeof(AgentAnswer)) {
        return false;
    }
    std::memcpy(out, data, sizeof(AgentAnswer));
    return true;
}

}  // namespace vexlo
