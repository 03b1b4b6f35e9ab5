#include "protocol/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using vexlo::AgentAnswer;
using vexlo::PluginRequest;

int32_t Int32At(const void* record, size_t offset) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    return static_cast<int32_t>(bytes[offset] | (bytes[offset + 1] << 8) |
                                (bytes[offset + 2] << 16) |
                                (static_cast<uint32_t>(bytes[offset + 3]) << 24));
}

TEST(PluginRequestRecord, FieldsLieAtTheirWireOffsetsLittleEndian) {
    PluginRequest request = vexlo::CreateEmptyRequest();
    request.code = vexlo::kRequestScan;
    vexlo::WriteField(request.apiKey, u"KEY");
    request.messageId = 0x01020304;
    request.param = 2;
    request.jobId = -7;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&request);
    EXPECT_EQ(Int32At(bytes, 0), 100);
    EXPECT_EQ(bytes[4], 'K');
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(bytes[8], 'Y');
    EXPECT_EQ(bytes[10], 0) << "the terminator is the zero fill";
    EXPECT_EQ(bytes[1028], 0x04);
    EXPECT_EQ(Int32At(bytes, 1028), 0x01020304);
    EXPECT_EQ(Int32At(bytes, 5128), 2);
    EXPECT_EQ(Int32At(bytes, 5132), -7);
    // Every byte that the request does not use stays zero.
    for (size_t i = 1032; i < 5128; ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
}

TEST(PluginRequestRecord, StringFieldsHoldAtMostOneUnitLessThanTheirSize) {
    PluginRequest request = vexlo::CreateEmptyRequest();
    std::u16string key511(511, u'k');
    EXPECT_TRUE(vexlo::WriteField(request.apiKey, key511));
    EXPECT_EQ(vexlo::ReadField(request.apiKey), key511);
    std::u16string key600(600, u'q');
    EXPECT_FALSE(vexlo::WriteField(request.apiKey, key600));
    EXPECT_EQ(vexlo::ReadField(request.apiKey), std::u16string(511, u'q'));
    EXPECT_EQ(request.messageId, 0) << "a long key never spills into the next field";
    std::u16string command(2047, u'p');
    EXPECT_TRUE(vexlo::WriteField(request.printingRequest, command));
    EXPECT_EQ(vexlo::ReadField(request.printingRequest), command);
}

TEST(PluginRequestRecord, AnUnterminatedKeyIsReadToTheEndOfItsFieldOnly) {
    PluginRequest request = vexlo::CreateEmptyRequest();
    for (auto& unit : request.apiKey) {
        unit = u'a';
    }
    request.messageId = 0x00410041;  // would read as "AA" past the field
    EXPECT_EQ(vexlo::ReadField(request.apiKey), std::u16string(512, u'a'));
}

TEST(Decoding, ShortOrMissingDataIsRefused) {
    std::vector<unsigned char> data(sizeof(PluginRequest) + 10, 0x11);
    PluginRequest request;
    EXPECT_FALSE(vexlo::DecodeRequest(nullptr, sizeof(PluginRequest), &request));
    EXPECT_FALSE(vexlo::DecodeRequest(data.data(), 16, &request));
    EXPECT_FALSE(vexlo::DecodeRequest(data.data(), sizeof(PluginRequest) - 1, &request));
    EXPECT_TRUE(vexlo::DecodeRequest(data.data(), data.size(), &request));
    EXPECT_EQ(request.jobId, 0x11111111);
    AgentAnswer answer;
    EXPECT_FALSE(vexlo::DecodeAnswer(data.data(), 4103, &answer));
    EXPECT_TRUE(vexlo::DecodeAnswer(data.data(), 4104, &answer));
}

TEST(Decoding, AnyBytesDecodeWithoutReadingOutOfBounds) {
    std::mt19937 random(1);
    for (int round = 0; round < 200; ++round) {
        size_t size = random() % 6000;
        std::vector<unsigned char> data(size);
        for (auto& byte : data) {
            byte = static_cast<unsigned char>(random());
        }
        PluginRequest request;
        if (vexlo::DecodeRequest(data.data(), data.size(), &request)) {
            EXPECT_LE(vexlo::ReadField(request.apiKey).size(), vexlo::kApiKeyLength);
            EXPECT_LE(vexlo::ReadField(request.printingRequest).size(),
                      vexlo::kPrintingRequestLength);
        }
        AgentAnswer answer;
        if (vexlo::DecodeAnswer(data.data(), data.size(), &answer)) {
            EXPECT_LE(vexlo::ReadField(answer.text).size(), vexlo::kAnswerTextLength);
        }
    }
}

TEST(Answers, TextsOf2047CharactersGoWholeLongerOnesGoEmpty) {
    std::u16string text2047(2047, u't');
    AgentAnswer answer = vexlo::MakeAnswer(1, 3, text2047.c_str());
    EXPECT_EQ(answer.state, 1);
    EXPECT_EQ(answer.info, 3);
    EXPECT_EQ(vexlo::ReadField(answer.text), text2047);
    EXPECT_EQ(answer.text[2047], 0);
    std::u16string text2048(2048, u't');
    answer = vexlo::MakeAnswer(-4, 0, text2048.c_str());
    EXPECT_EQ(answer.state, -4);
    EXPECT_EQ(vexlo::ReadField(answer.text), u"");
    std::u16string text5000(5000, u't');
    answer = vexlo::MakeAnswer(2, 0, text5000.c_str());
    EXPECT_EQ(vexlo::ReadField(answer.text), u"");
    answer = vexlo::MakeAnswer(105, 3, nullptr);
    EXPECT_EQ(answer.info, 3);
    EXPECT_EQ(vexlo::ReadField(answer.text), u"");
}

TEST(Answers, UnusedBytesAreZero) {
    AgentAnswer answer = vexlo::MakeAnswer(5, 0, u"ok");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&answer);
    for (size_t i = 8 + 2 * 2; i < sizeof(answer); ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
}

}  // namespace
